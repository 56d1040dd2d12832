#pragma once
// Thin owners of an SQLite connection and its prepared statements.
//
// The connection remembers its first failure and skips every later statement, in the manner of
// BinaryStream: a loader or saver runs a whole sequence of statements and checks Ok() where it matters,
// instead of testing every step. Rollback() and Close() run regardless, so cleanup still happens.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/com/expected.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kymora::storage {

class SqliteStatement;

class SqliteDatabase {
 public:
  // flags as for sqlite3_open_v2. The message of a failure is SQLite's own (callers add the file name).
  static Expected<SqliteDatabase> Open(const std::string& path, int flags);

  SqliteDatabase(SqliteDatabase&&) noexcept;
  SqliteDatabase& operator=(SqliteDatabase&&) noexcept;
  ~SqliteDatabase();

  bool Ok() const;
  // The first failure: SQLite's extended result code and message (SQLITE_OK and "" while Ok()).
  int FailureCode() const;
  const std::string& FailureMessage() const;
  // Records a failure of the caller's own (for example a value out of range), unless one is recorded.
  void Fail(int code, std::string message);

  void Exec(const char* sql);
  // An inert statement (every call a no-op, Step() false) when the connection has failed already or
  // when the text does not compile.
  SqliteStatement Prepare(std::string_view sql);
  // First column of the first row; 0 / "" when there is no row or on failure.
  std::int64_t QueryInt(std::string_view sql);
  std::string QueryText(std::string_view sql);

  // Ends an open transaction without keeping its changes, whatever failed before.
  void Rollback();
  // Closes the connection; SQLite's result code (SQLITE_OK when the last checkpoint went through).
  int Close();

  sqlite3* Handle() const;

 private:
  friend class SqliteStatement;
  struct State;
  explicit SqliteDatabase(std::unique_ptr<State> state);
  // Held on the heap so that statements keep a stable pointer when the connection object moves.
  std::unique_ptr<State> mState;
};

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(SqliteStatement&&) noexcept;
  SqliteStatement& operator=(SqliteStatement&&) noexcept;
  ~SqliteStatement();

  // Parameters are numbered from 1 as in SQL text "?1". Blobs and text are copied by SQLite.
  SqliteStatement& Bind(int index, std::int64_t value);
  SqliteStatement& Bind(int index, double value);
  SqliteStatement& BindText(int index, std::string_view value);
  // An empty span binds a zero-length blob, not NULL.
  SqliteStatement& BindBlob(int index, std::span<const std::uint8_t> value);
  SqliteStatement& BindNull(int index);

  // True while a row is available; false when done or on failure (recorded in the connection).
  bool Step();
  // Steps to the end, for statements that return no rows; false on failure.
  bool Run();
  // Ready to run again with new parameters.
  void Reset();

  // Column values of the current row, numbered from 0. Type() is SQLITE_INTEGER, SQLITE_FLOAT, ...
  int Type(int column) const;
  std::int64_t Int64(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  // Valid until the next Step(), Reset() or column call on the same column.
  std::span<const std::uint8_t> Blob(int column) const;

 private:
  friend class SqliteDatabase;
  SqliteStatement(SqliteDatabase::State* db, sqlite3_stmt* statement) : mDb(db), mStatement(statement) {}
  bool Check(int rc);

  SqliteDatabase::State* mDb = nullptr;
  sqlite3_stmt* mStatement = nullptr;
};

}  // namespace kymora::storage
