#pragma once
// Temporary files of saves. A new .kymo file is built as "<name>.saving-<8 hex digits>" beside its target
// and renamed into place when complete. The saving process holds an exclusive flock on its temporary file
// from the moment it exists, so that any other process tells the temporary file of a live save from one
// that a killed save left behind; the next save or open of the target removes the latter.
#include <string>

#include "host/com/expected.h"

namespace kymora::storage {

class SaveTemporary {
 public:
  // Creates an empty file under a fresh name beside `target`, already locked. The message is the
  // system's reason when the folder cannot take it.
  static Expected<SaveTemporary> CreateBeside(const std::string& target);

  SaveTemporary(SaveTemporary&& other) noexcept;
  SaveTemporary& operator=(SaveTemporary&&) = delete;
  // Removes the file and its journal's side files unless Renamed() was called; then drops the lock.
  ~SaveTemporary();

  const std::string& Path() const { return mPath; }
  // The file now lives under the target's name: only leftover side files are removed at the end.
  void Renamed() { mRenamed = true; }

 private:
  SaveTemporary(std::string path, int fd) : mPath(std::move(path)), mFd(fd) {}
  std::string mPath;
  int mFd = -1;
  bool mRenamed = false;
};

// Removes the temporary files of saves of `target` (and their side files) that no live process holds;
// returns how many files went. Files that cannot be removed (a read-only folder) are left without a word.
int RemoveStaleTemporaries(const std::string& target);

}  // namespace kymora::storage
