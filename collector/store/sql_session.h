// What the SQL stores need of a database connection, so that the collector's
// queries are written once for SQLite and PostgreSQL. SQL text numbers its
// parameters $1, $2, ...; a session never pastes a value into the text.
#ifndef TALLYGATE_COLLECTOR_STORE_SQL_SESSION_H_
#define TALLYGATE_COLLECTOR_STORE_SQL_SESSION_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tallygate::collector {

using Blob = std::vector<uint8_t>;
// NULL, an integer, text (UTF-8) or bytes.
using SqlValue = std::variant<std::monostate, int64_t, std::string, Blob>;

// One row of a result, read by column number from 0.
class SqlRow {
 public:
  virtual bool IsNull(int column) const = 0;
  virtual int64_t Int(int column) const = 0;
  virtual std::string Text(int column) const = 0;
  virtual Blob Bytes(int column) const = 0;

 protected:
  ~SqlRow() = default;
};

// Every method throws StoreError with the database's own reason.
class SqlSession {
 public:
  virtual ~SqlSession() = default;

  // Called before each of the store's operations: makes a lost connection
  // again (once; throws when it cannot). True when it did, so that what the
  // server kept for the old session (locks) can be taken again.
  virtual bool Ready() = 0;
  // Starts a transaction that writes (SQLite takes its write lock at once).
  virtual void Begin() = 0;
  // Statements without parameters, separated by semicolons.
  virtual void ExecScript(std::string_view sql) = 0;
  // One statement; returns the rows it inserted, updated or deleted.
  virtual int64_t Exec(std::string_view sql, const std::vector<SqlValue>& params = {}) = 0;
  // One query; `row` sees each row as it comes, none is kept.
  virtual void Query(std::string_view sql, const std::vector<SqlValue>& params,
                     const std::function<void(const SqlRow&)>& row) = 0;
  // Until the next Ready(), statements whose time grows with the store (a
  // schema upgrade rebuilding an index, an export) are not held to the
  // store's usual time limit but to a long one.
  virtual void Unhurried() {}
  // Starts a transaction whose commit does not wait for the disk: a crash
  // or a power cut may lose it (and only it and others committed so since),
  // never leave the store inconsistent. For the poll log of a poll that
  // stored nothing, which the next poll writes again: a fleet polled often
  // syncs once per punch page instead of once per poll.
  virtual void BeginUnsynced() { Begin(); }
  // After such a transaction ended (committed or rolled back).
  virtual void EndUnsynced() {}
};

// In a handler of a StoreError: throws it again, of the same kind, with
// `prefix` before its message.
[[noreturn]] void RethrowStoreError(const std::string& prefix);

// Begun on construction, rolled back on destruction unless committed: a
// store operation that throws half-way leaves nothing behind.
class SqlTransaction {
 public:
  enum class Sync { kSynced, kUnsynced };
  explicit SqlTransaction(SqlSession& session, Sync sync = Sync::kSynced);
  ~SqlTransaction();
  SqlTransaction(const SqlTransaction&) = delete;
  SqlTransaction& operator=(const SqlTransaction&) = delete;

  void Commit();

 private:
  SqlSession& session_;
  Sync sync_;
  bool open_ = true;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQL_SESSION_H_
