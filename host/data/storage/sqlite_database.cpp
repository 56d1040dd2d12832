#include "host/data/storage/sqlite_database.h"

#include <sqlite3.h>

#include <utility>

namespace kymora::storage {

struct SqliteDatabase::State {
  sqlite3* db = nullptr;
  int failureCode = SQLITE_OK;
  std::string failureMessage;

  void Record(int code, std::string message) {
    if (failureCode != SQLITE_OK) return;
    failureCode = code;
    failureMessage = std::move(message);
  }
  void RecordFromConnection(int rc) {
    const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    // The connection's message can be stale when the code came from elsewhere; prefer the code's text.
    if (db && sqlite3_extended_errcode(db) != rc) message = sqlite3_errstr(rc);
    Record(rc, message ? message : "unknown failure");
  }
};

Expected<SqliteDatabase> SqliteDatabase::Open(const std::string& path, int flags) {
  auto state = std::make_unique<State>();
  int rc = sqlite3_open_v2(path.c_str(), &state->db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = state->db ? sqlite3_errmsg(state->db) : sqlite3_errstr(rc);
    sqlite3_close_v2(state->db);
    return Error{message};
  }
  sqlite3_extended_result_codes(state->db, 1);
  return SqliteDatabase(std::move(state));
}

SqliteDatabase::SqliteDatabase(std::unique_ptr<State> state) : mState(std::move(state)) {}
SqliteDatabase::SqliteDatabase(SqliteDatabase&&) noexcept = default;
SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
  if (this != &other) {
    Close();
    mState = std::move(other.mState);
  }
  return *this;
}
SqliteDatabase::~SqliteDatabase() { Close(); }

bool SqliteDatabase::Ok() const { return mState && mState->failureCode == SQLITE_OK; }
int SqliteDatabase::FailureCode() const { return mState ? mState->failureCode : SQLITE_MISUSE; }
const std::string& SqliteDatabase::FailureMessage() const {
  static const std::string closed = "the database is closed";
  return mState ? mState->failureMessage : closed;
}
void SqliteDatabase::Fail(int code, std::string message) {
  if (mState) mState->Record(code, std::move(message));
}
sqlite3* SqliteDatabase::Handle() const { return mState ? mState->db : nullptr; }

void SqliteDatabase::Exec(const char* sql) {
  if (!Ok()) return;
  int rc = sqlite3_exec(mState->db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) mState->RecordFromConnection(rc);
}

SqliteStatement SqliteDatabase::Prepare(std::string_view sql) {
  if (!Ok()) return SqliteStatement(mState.get(), nullptr);
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(mState->db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
  if (rc != SQLITE_OK) {
    mState->RecordFromConnection(rc);
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  return SqliteStatement(mState.get(), statement);
}

std::int64_t SqliteDatabase::QueryInt(std::string_view sql) {
  auto statement = Prepare(sql);
  return statement.Step() ? statement.Int64(0) : 0;
}

std::string SqliteDatabase::QueryText(std::string_view sql) {
  auto statement = Prepare(sql);
  return statement.Step() ? statement.Text(0) : std::string();
}

void SqliteDatabase::Rollback() {
  if (mState && mState->db && !sqlite3_get_autocommit(mState->db))
    sqlite3_exec(mState->db, "ROLLBACK", nullptr, nullptr, nullptr);
}

int SqliteDatabase::Close() {
  if (!mState || !mState->db) return SQLITE_OK;
  Rollback();
  int rc = sqlite3_close(mState->db);
  if (rc != SQLITE_OK) {
    // A statement is still open: let SQLite finish the close when it goes, and report the failure.
    sqlite3_close_v2(mState->db);
  }
  mState->db = nullptr;
  return rc;
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : mDb(std::exchange(other.mDb, nullptr)), mStatement(std::exchange(other.mStatement, nullptr)) {}
SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(mStatement);
    mDb = std::exchange(other.mDb, nullptr);
    mStatement = std::exchange(other.mStatement, nullptr);
  }
  return *this;
}
SqliteStatement::~SqliteStatement() { sqlite3_finalize(mStatement); }

bool SqliteStatement::Check(int rc) {
  if (rc == SQLITE_OK) return true;
  if (mDb) mDb->RecordFromConnection(rc);
  return false;
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
  if (mStatement) Check(sqlite3_bind_int64(mStatement, index, value));
  return *this;
}
SqliteStatement& SqliteStatement::Bind(int index, double value) {
  if (mStatement) Check(sqlite3_bind_double(mStatement, index, value));
  return *this;
}
SqliteStatement& SqliteStatement::BindText(int index, std::string_view value) {
  if (mStatement)
    Check(sqlite3_bind_text64(mStatement, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
  return *this;
}
SqliteStatement& SqliteStatement::BindBlob(int index, std::span<const std::uint8_t> value) {
  if (!mStatement) return *this;
  // SQLite binds NULL for a blob without a data pointer; an empty stream is not a missing one.
  if (value.empty())
    Check(sqlite3_bind_zeroblob(mStatement, index, 0));
  else
    Check(sqlite3_bind_blob64(mStatement, index, value.data(), value.size(), SQLITE_TRANSIENT));
  return *this;
}
SqliteStatement& SqliteStatement::BindNull(int index) {
  if (mStatement) Check(sqlite3_bind_null(mStatement, index));
  return *this;
}

bool SqliteStatement::Step() {
  if (!mStatement || !mDb || mDb->failureCode != SQLITE_OK) return false;
  int rc = sqlite3_step(mStatement);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) Check(rc);
  return false;
}

bool SqliteStatement::Run() {
  while (Step()) {
  }
  return mStatement && mDb && mDb->failureCode == SQLITE_OK;
}

void SqliteStatement::Reset() {
  if (!mStatement) return;
  sqlite3_reset(mStatement);
  sqlite3_clear_bindings(mStatement);
}

int SqliteStatement::Type(int column) const {
  return mStatement ? sqlite3_column_type(mStatement, column) : SQLITE_NULL;
}
std::int64_t SqliteStatement::Int64(int column) const {
  return mStatement ? sqlite3_column_int64(mStatement, column) : 0;
}
double SqliteStatement::Double(int column) const {
  return mStatement ? sqlite3_column_double(mStatement, column) : 0.0;
}
std::string SqliteStatement::Text(int column) const {
  if (!mStatement) return {};
  const auto* text = sqlite3_column_text(mStatement, column);
  int size = sqlite3_column_bytes(mStatement, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)) : std::string();
}
std::span<const std::uint8_t> SqliteStatement::Blob(int column) const {
  if (!mStatement) return {};
  const void* data = sqlite3_column_blob(mStatement, column);
  int size = sqlite3_column_bytes(mStatement, column);
  if (!data || size <= 0) return {};
  return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

}  // namespace kymora::storage
