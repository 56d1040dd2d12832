#pragma once
// Helpers of the storage tests: a scratch folder, raw file bytes, direct SQL on a file, and an exact
// comparison of two DataFiles (floats bit for bit).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/com/text.h"
#include "host/data/data_file.h"

namespace kymora::storage::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "kymo_storage_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
    mPath = name.data();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return mPath + "/" + name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(mPath)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string mPath;
};

inline std::vector<char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs SQL on a file through SQLite itself, the way a damaging tool or a curious user would.
inline void RunSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << text;
}

// The first column of every row of a query, as text (blobs as raw bytes).
inline std::vector<std::string> QuerySql(const std::string& path, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << path;
    return rows;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, 0));
      rows.emplace_back(data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The first difference between two files, or "" when they hold exactly the same content.
inline std::string FirstDifference(const DataFile& a, const DataFile& b) {
  if (a.channels.size() != b.channels.size()) return "channel count";
  for (std::size_t c = 0; c < a.channels.size(); ++c) {
    if (a.channels[c].title != b.channels[c].title) return "title of channel " + std::to_string(c);
    if (a.channels[c].calculation != b.channels[c].calculation) return "calculation of channel " + std::to_string(c);
  }
  if (a.blocks.size() != b.blocks.size()) return "block count";
  for (std::size_t i = 0; i < a.blocks.size(); ++i) {
    const auto &x = a.blocks[i], &y = b.blocks[i];
    auto where = "block " + std::to_string(i);
    if (!SameBits(x.secsPerTick, y.secsPerTick) || x.length != y.length) return where + " interval or length";
    if (x.channels.size() != y.channels.size()) return where + " channel count";
    for (std::size_t c = 0; c < x.channels.size(); ++c) {
      const auto &p = x.channels[c], &q = y.channels[c];
      auto place = where + ", channel " + std::to_string(c);
      if (p.units != q.units || !SameBits(p.range, q.range)) return place + " units or range";
      if (p.HasData() != q.HasData()) return place + " data presence";
      if (p.userConversion.has_value() != q.userConversion.has_value() ||
          (p.userConversion && (!SameBits(p.userConversion->scale, q.userConversion->scale) ||
                                !SameBits(p.userConversion->offset, q.userConversion->offset) ||
                                p.userConversion->units != q.userConversion->units)))
        return place + " units conversion";
      if (!p.HasData()) continue;
      auto ps = p.ReadSamples(), qs = q.ReadSamples();
      if (!ps || !qs) return place + " samples unreadable: " + (ps ? qs : ps).ErrorMessage();
      const Samples &x = **ps, &y = **qs;
      if (x.size() != y.size() || (!x.empty() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float))))
        return place + " samples";
    }
  }
  if (!(a.selection == b.selection)) return "selection";
  if (a.documentStreams != b.documentStreams) return "document streams";
  return "";
}

}  // namespace kymora::storage::testing
