#pragma once
// Runs the built command line in a child process and captures what it prints.
#include <filesystem>
#include <string>
#include <vector>

namespace kymora::clitest {

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

RunResult RunKymora(const std::vector<std::string>& args);
// The same with files limited to fileSizeLimit bytes, as on a disk that is full: a write past it fails.
RunResult RunKymora(const std::vector<std::string>& args, long fileSizeLimit);
// A fresh temporary folder for one test, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& Path() const { return mPath; }
  std::string File(const std::string& name) const { return (mPath / name).string(); }
  void Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path mPath;
};

}  // namespace kymora::clitest
