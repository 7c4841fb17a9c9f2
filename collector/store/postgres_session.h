// A connection to a PostgreSQL server (libpq). Values are always sent as
// parameters; rows are read one at a time, so a large export is never held
// whole. A connection found broken is made again by Ready(), once a call.
//
// Every wait for the server is bounded, on the client's side: the socket is
// nonblocking and waited on with poll(). A server that does not answer in
// time (stopped, or cut off: its host may still acknowledge every packet,
// so TCP alone never notices) ends the call with StoreTimeout; the
// connection is closed, which rolls back what it had begun, and for
// kQuietAfterTimeout afterwards calls fail at once instead of each waiting
// again (the threads queued behind the call that waited learn at once).
#ifndef TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_
#define TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "collector/store/sql_session.h"

struct pg_conn;
struct pg_result;

namespace tallygate::collector {

// The limits (docs/collector.md, "A store that does not answer").
// Making a connection, authentication included.
inline constexpr std::chrono::seconds kConnectWait{10};
// statement_timeout: the server ends a statement that runs longer.
inline constexpr std::chrono::seconds kStatementLimit{10};
// The longest wait for any answer; longer than kStatementLimit, so that a
// server that works but is slow says so itself.
inline constexpr std::chrono::seconds kAnswerWait{15};
// After a wait that ran out, calls fail at once for this long.
inline constexpr std::chrono::seconds kQuietAfterTimeout{5};
// The longest wait for an Unhurried() statement.
inline constexpr std::chrono::hours kUnhurriedWait{1};

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
  void BeginUnsynced() override { ExecScript("BEGIN; SET LOCAL synchronous_commit = off"); }
  void ExecScript(std::string_view sql) override;
  int64_t Exec(std::string_view sql, const std::vector<SqlValue>& params = {}) override;
  void Query(std::string_view sql, const std::vector<SqlValue>& params,
             const std::function<void(const SqlRow&)>& row) override;
  void Unhurried() override;

  // After LISTEN: the notifications that came, waiting up to `wait` for the
  // first when none is queued; 0 when none came. Throws StoreError when the
  // connection is lost (a LISTEN does not outlive it).
  int Notifications(std::chrono::milliseconds wait);

 private:
  void Connect();               // a new connection with the session's settings
  void Drop();                  // closes it; the next Ready() makes another
  [[noreturn]] void Unanswered(const std::string& reason);
  pg_conn* Live();              // the connection; throws when it was closed
  void Sent(int sent);          // after PQsend...: the rest of the query out
  void Await(short events);     // the socket ready, or Unanswered
  pg_result* NextResult();      // as PQgetResult, within the limits
  int64_t Results();            // every result of the query; the first failure thrown
  std::string Reason() const;

  std::string database_;
  pg_conn* conn_ = nullptr;
  bool unhurried_ = false;
  std::chrono::steady_clock::time_point quiet_until_{};  // no new connection before
  std::string unanswered_;                                // why
};

// Bytes in bytea's text form: \x, then two hex digits a byte.
std::string ByteaText(std::span<const uint8_t> bytes);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_POSTGRES_SESSION_H_
