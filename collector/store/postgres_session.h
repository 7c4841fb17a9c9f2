// A connection to a PostgreSQL server (libpq). Values are always sent as
// parameters; rows are read one at a time, so a large export is never held
// whole. A connection found broken is made again by Ready(), once a call.
#ifndef TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_
#define TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_

#include <cstdint>
#include <span>
#include <string>

#include "collector/store/sql_session.h"

struct pg_conn;

namespace tallygate::collector {

class PostgresSession final : public SqlSession {
 public:
  // `database` is a postgresql:// URI or a key=value connection string.
  // Throws StoreError with the server's or libpq's reason.
  explicit PostgresSession(const std::string& database);
  ~PostgresSession() override;
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;

  bool Ready() override;
  void Begin() override { ExecScript("BEGIN"); }
  void ExecScript(std::string_view sql) override;
  int64_t Exec(std::string_view sql, const std::vector<SqlValue>& params = {}) override;
  void Query(std::string_view sql, const std::vector<SqlValue>& params,
             const std::function<void(const SqlRow&)>& row) override;

 private:
  void Setup();           // the session's settings, after each connection
  void Abandon();         // cancels a query whose rows are no longer wanted
  std::string Reason() const;

  pg_conn* conn_ = nullptr;
};

// Bytes in bytea's text form: \x, then two hex digits a byte.
std::string ByteaText(std::span<const uint8_t> bytes);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_
