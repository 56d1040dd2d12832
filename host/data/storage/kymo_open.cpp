#include "host/data/storage/kymo_open.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "host/data/storage/kymo_schema.h"

namespace kymora::storage {
namespace {

bool CanWrite(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 &&
         ::faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// A URI that opens the file without locks or side files: for a file nobody can be writing to through us.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : std::filesystem::absolute(path).string()) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

bool HasLog(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path + "-wal", ignored);
}

std::optional<FileIdentity> Identify(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool ReadStands(const ReadConnection& opened, const std::optional<FileIdentity>& before, const std::string& path) {
  return !opened.unlocked || (before && before == Identify(path) && !HasLog(path));
}

// Reading must write nothing that stays. A read-write connection removes the -wal and -shm side files
// when it closes, and with an empty log its closing checkpoint writes nothing into the file, so a cleanly
// closed file that we could write is opened that way. A file whose log is still there is opened read-only.
// Read-only media, a write-protected folder or another user's file: SQLite's locks would need side files
// beside it. Without a log the file itself holds all its content and is read as it stands.
Expected<ReadConnection> OpenToRead(const std::string& path) {
  if (HasLog(path)) {
    auto opened = SqliteDatabase::Open(path, SQLITE_OPEN_READONLY);
    if (!opened)
      return Error{"Cannot open " + path + ": " + opened.ErrorMessage() +
                   " (a save of it did not finish, and its journal cannot be used from here)."};
    return ReadConnection{std::move(*opened), false};
  }
  const bool writable = CanWrite(path);
  auto opened = writable ? SqliteDatabase::Open(path, SQLITE_OPEN_READWRITE)
                         : SqliteDatabase::Open(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  if (!opened) return Error{"Cannot open " + path + ": " + opened.ErrorMessage() + "."};
  return ReadConnection{std::move(*opened), !writable};
}

}  // namespace kymora::storage
