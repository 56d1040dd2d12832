#include "apps/kymora/tests/cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

namespace kymora::clitest {

namespace {
std::string Drain(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return s;
}
}  // namespace

RunResult RunKymora(const std::vector<std::string>& args) { return RunKymora(args, -1); }

RunResult RunKymora(const std::vector<std::string>& args, long fileSizeLimit) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    if (fileSizeLimit >= 0) {
      // The write then fails with EFBIG instead of the signal ending the program.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    std::vector<char*> argv;
    std::string exe = KYMORA_BIN;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  RunResult r;
  std::thread errReader([&] { r.err = Drain(err[0]); });
  r.out = Drain(out[0]);
  errReader.join();
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  mPath = std::filesystem::temp_directory_path() /
          ("kymora-cli-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(mPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(mPath, ec);
}

void TempDir::Write(const std::string& name, const std::string& text) const {
  std::ofstream(mPath / name, std::ios::binary) << text;
}

}  // namespace kymora::clitest
