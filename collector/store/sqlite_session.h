// A connection to a SQLite file: write-ahead log, full sync, foreign keys,
// a wait when another connection writes, and each statement prepared once.
#ifndef TALLYGATE_COLLECTOR_STORE_SQLITE_SESSION_H_
#define TALLYGATE_COLLECTOR_STORE_SQLITE_SESSION_H_

#include <filesystem>
#include <string>
#include <unordered_map>

#include "collector/store/sql_session.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tallygate::collector {

class SqliteSession final : public SqlSession {
 public:
  // Opens or creates `file`. Throws StoreError.
  explicit SqliteSession(const std::filesystem::path& file);
  ~SqliteSession() override;
  SqliteSession(const SqliteSession&) = delete;
  SqliteSession& operator=(const SqliteSession&) = delete;

  bool Ready() override { return false; }  // a file is never lost
  void Begin() override;
  void BeginUnsynced() override;
  void EndUnsynced() override;
  void ExecScript(std::string_view sql) override;
  int64_t Exec(std::string_view sql, const std::vector<SqlValue>& params = {}) override;
  void Query(std::string_view sql, const std::vector<SqlValue>& params,
             const std::function<void(const SqlRow&)>& row) override;

 private:
  // The statement for `sql`, prepared on first use, with `params` bound.
  sqlite3_stmt* Prepare(std::string_view sql, const std::vector<SqlValue>& params);
  [[noreturn]] void Fail() const;

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQLITE_SESSION_H_
