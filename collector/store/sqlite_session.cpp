#include "collector/store/sqlite_session.h"

#include <sqlite3.h>

#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

// How long a statement waits for another connection's write to end.
constexpr int kBusyTimeoutMs = 10'000;

// "$1" as SQLite numbers its parameters: "?1".
std::string SqliteParameters(std::string_view sql) {
  std::string text(sql);
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '$' && text[i + 1] >= '0' && text[i + 1] <= '9') text[i] = '?';
  }
  return text;
}

class SqliteRow final : public SqlRow {
 public:
  explicit SqliteRow(sqlite3_stmt* statement) : statement_(statement) {}
  bool IsNull(int column) const override {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
  }
  int64_t Int(int column) const override { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const override {
    const auto* text = sqlite3_column_text(statement_, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text),
                                         static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
  }
  Blob Bytes(int column) const override {
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, column));
    return bytes == nullptr
               ? Blob()
               : Blob(bytes, bytes + sqlite3_column_bytes(statement_, column));
  }

 private:
  sqlite3_stmt* statement_;
};

// Leaves a cached statement ready for its next use, however the step ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* statement_;
};

}  // namespace

SqliteSession::SqliteSession(const std::filesystem::path& file) {
  const int opened = sqlite3_open_v2(file.c_str(), &db_,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (opened != SQLITE_OK) {
    const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
    sqlite3_close(db_);
    throw StoreError("cannot open: " + reason);
  }
  try {
    // A file the process may only read opens all the same: refuse it now
    // rather than at the first punch.
    if (sqlite3_db_readonly(db_, "main") == 1) throw StoreError("the file is read-only");
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    std::string journal;
    Query("PRAGMA journal_mode = WAL", {},
          [&](const SqlRow& row) { journal = row.Text(0); });
    if (journal != "wal") throw StoreError("the write-ahead log cannot be used here");
    ExecScript("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON");
    // A first collection of many terminals inserts punches of the same days
    // from each: every page lands all over the time and card indexes. With
    // the defaults (2 MB of cache, a checkpoint every 1,000 WAL pages)
    // nearly every page read misses and every commit is followed by a
    // checkpoint; 8 MB of cache and a checkpoint every 10,000 pages (a WAL
    // of up to 40 MB) take such a collection to about a third of the time.
    // Each commit is still synced.
    ExecScript("PRAGMA cache_size = -8192; PRAGMA wal_autocheckpoint = 10000");
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

SqliteSession::~SqliteSession() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(db_);
}

void SqliteSession::Fail() const { throw StoreError(sqlite3_errmsg(db_)); }

void SqliteSession::Begin() { ExecScript("BEGIN IMMEDIATE"); }

// In WAL mode NORMAL leaves the sync to the next checkpoint (or the next
// FULL commit, which syncs the log up to itself): never inconsistent. The
// level can change only between transactions.
void SqliteSession::BeginUnsynced() {
  ExecScript("PRAGMA synchronous = NORMAL");
  try {
    Begin();
  } catch (const StoreError&) {
    EndUnsynced();
    throw;
  }
}

void SqliteSession::EndUnsynced() { ExecScript("PRAGMA synchronous = FULL"); }

void SqliteSession::ExecScript(std::string_view sql) {
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
}

sqlite3_stmt* SqliteSession::Prepare(std::string_view sql, const std::vector<SqlValue>& params) {
  auto [place, added] = statements_.try_emplace(std::string(sql), nullptr);
  if (added) {
    const std::string text = SqliteParameters(sql);
    if (sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()),
                           SQLITE_PREPARE_PERSISTENT, &place->second, nullptr) != SQLITE_OK) {
      statements_.erase(place);
      Fail();
    }
  }
  sqlite3_stmt* statement = place->second;
  for (size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i + 1);
    const SqlValue& value = params[i];
    int bound = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
      bound = sqlite3_bind_null(statement, index);
    } else if (const auto* number = std::get_if<int64_t>(&value)) {
      bound = sqlite3_bind_int64(statement, index, *number);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      bound = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8);
    } else {
      // No bytes are still a value: a null pointer would bind NULL.
      const Blob& bytes = std::get<Blob>(value);
      bound = bytes.empty() ? sqlite3_bind_zeroblob(statement, index, 0)
                            : sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(),
                                                  SQLITE_TRANSIENT);
    }
    if (bound != SQLITE_OK) {
      sqlite3_clear_bindings(statement);
      Fail();
    }
  }
  return statement;
}

int64_t SqliteSession::Exec(std::string_view sql, const std::vector<SqlValue>& params) {
  sqlite3_stmt* statement = Prepare(sql, params);
  StatementUse use(statement);
  int stepped;
  while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  if (stepped != SQLITE_DONE) Fail();
  return sqlite3_changes64(db_);
}

void SqliteSession::Query(std::string_view sql, const std::vector<SqlValue>& params,
                          const std::function<void(const SqlRow&)>& row) {
  sqlite3_stmt* statement = Prepare(sql, params);
  StatementUse use(statement);
  const SqliteRow current(statement);
  int stepped;
  while ((stepped = sqlite3_step(statement)) == SQLITE_ROW) row(current);
  if (stepped != SQLITE_DONE) Fail();
}

}  // namespace tallygate::collector
