#include "host/data/storage/kymo_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "host/data/storage/kymo_schema.h"

namespace kymora::storage {
namespace {

constexpr const char* kInfix = ".saving-";
constexpr std::size_t kHexDigits = 8;
constexpr const char* kSideSuffixes[] = {"-wal", "-shm", "-journal"};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void RemoveSideFiles(const std::string& temporary) {
  for (const char* suffix : kSideSuffixes) ::unlink((temporary + suffix).c_str());
}

// The part of a folder entry after "<target name>.saving-", when it is a temporary name of ours: eight hex
// digits, optionally followed by a side-file suffix. Sets *side for the latter.
bool IsTemporaryName(const std::string& entry, const std::string& prefix, bool* side) {
  if (entry.size() < prefix.size() + kHexDigits || entry.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + kHexDigits; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(entry[i]))) return false;
  std::string rest = entry.substr(prefix.size() + kHexDigits);
  *side = !rest.empty();
  if (rest.empty()) return true;
  for (const char* suffix : kSideSuffixes)
    if (rest == suffix) return true;
  return false;
}

// Removes one temporary file when no process holds its lock. The lock is taken on what the name refers to,
// and the name is checked to still refer to it before it goes, so a file created under the same name in
// between is never touched.
bool RemoveIfUnowned(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool removed = false;
  struct stat held {
  }, named{};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
      ::lstat(path.c_str(), &named) == 0 && SameFile(held, named)) {
    removed = ::unlink(path.c_str()) == 0;
    if (removed) RemoveSideFiles(path);
  }
  ::close(fd);
  return removed;
}

}  // namespace

Expected<SaveTemporary> SaveTemporary::CreateBeside(const std::string& target) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[kHexDigits + 1];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
    std::string name = target + kInfix + suffix;
    // Not mkstemp: its files are private (0600) whatever the umask, and the finished file keeps the mode
    // of the temporary one.
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Error{std::strerror(errno)};
    }
    // Between the open and the lock another process may have taken the file for a stale one and removed
    // it; then the name no longer refers to this file, and another name is tried.
    struct stat held {
    }, named{};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && ::lstat(name.c_str(), &named) == 0 &&
        SameFile(held, named))
      return SaveTemporary(std::move(name), fd);
    ::close(fd);
  }
  return Error{"no free temporary name"};
}

SaveTemporary::SaveTemporary(SaveTemporary&& other) noexcept
    : mPath(std::move(other.mPath)), mFd(std::exchange(other.mFd, -1)), mRenamed(other.mRenamed) {}

SaveTemporary::~SaveTemporary() {
  if (mFd < 0) return;
  if (!mRenamed) ::unlink(mPath.c_str());
  RemoveSideFiles(mPath);
  // Closed last: the lock tells other processes that the file is still being written.
  ::close(mFd);
}

int RemoveStaleTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = target.substr(target.find_last_of('/') + 1) + kInfix;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return 0;
  std::vector<std::string> temporaries, sideFiles;
  while (const dirent* entry = ::readdir(dir.get())) {
    bool side = false;
    std::string name = entry->d_name;
    if (IsTemporaryName(name, prefix, &side)) (side ? sideFiles : temporaries).push_back(folder + "/" + name);
  }
  int removed = 0;
  for (const auto& path : temporaries) removed += RemoveIfUnowned(path) ? 1 : 0;
  // Side files whose temporary file is gone belong to no save: a live one keeps its file until it ends.
  for (const auto& path : sideFiles) {
    std::string owner = path.substr(0, path.find_last_of('-'));
    struct stat info {};
    if (::lstat(owner.c_str(), &info) != 0 && errno == ENOENT && ::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace kymora::storage
