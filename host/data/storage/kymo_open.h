#pragma once
// Opening a .kymo file to read it, in the way that leaves nothing behind: used by the load and by the
// later reads of samples that the load left in the file.
#include <sys/stat.h>

#include <optional>
#include <string>

#include "host/com/expected.h"
#include "host/data/storage/sqlite_database.h"

namespace kymora::storage {

struct ReadConnection {
  SqliteDatabase db;
  // Opened without locks: nothing stops another program from changing the file while it is read, so the
  // reader compares the file's identity before and after.
  bool unlocked = false;
};

// A file that we could write and that has no log beside it is opened read-write (closing removes the side
// files SQLite makes); one with a log is opened read-only and left as found; one we cannot write (read-only
// media, another user's file) is opened without locks. Messages name the file.
Expected<ReadConnection> OpenToRead(const std::string& path);

// What changes when another program writes the file or puts another in its place.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};
std::optional<FileIdentity> Identify(const std::string& path);

// Whether a log lies beside the file (a save in progress elsewhere, or one that was killed).
bool HasLog(const std::string& path);

// Whether what was read through the connection can be trusted: always when it held locks; without locks
// only when the file is still the one identified (`before`) just before it was opened and no log has
// appeared beside it.
bool ReadStands(const ReadConnection& opened, const std::optional<FileIdentity>& before, const std::string& path);

}  // namespace kymora::storage
