#include "collector/store/postgres_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

// libpq's messages end in a line feed and may take several lines.
std::string OneLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text.empty() ? "no reason given" : text;
}

using Clock = std::chrono::steady_clock;

template <class Duration>
std::string SecondsText(Duration wait) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) + " s";
}

// Waits until `socket` is ready for `events` (or failed, which the next
// libpq call reports); false when `deadline` came first.
bool WaitFor(int socket, short events, Clock::time_point deadline) {
  pollfd wanted{socket, events, 0};
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const int ready = poll(&wanted, 1, static_cast<int>(std::min<int64_t>(left.count(), 60'000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) {
      throw StoreError(std::string("waiting for the server: ") + std::strerror(errno));
    }
  }
}

struct ResultFree {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// Parameters as libpq takes them: text, bytes in bytea's hex form, NULL as
// a null pointer.
class TextParams {
 public:
  explicit TextParams(const std::vector<SqlValue>& params) {
    texts_.reserve(params.size());
    for (const SqlValue& value : params) {
      if (const auto* number = std::get_if<int64_t>(&value)) {
        texts_.push_back(std::to_string(*number));
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        texts_.push_back(*text);
      } else if (const auto* bytes = std::get_if<Blob>(&value)) {
        texts_.push_back(ByteaText(*bytes));
      } else {
        texts_.emplace_back();
      }
    }
    for (size_t i = 0; i < params.size(); ++i) {
      values_.push_back(std::holds_alternative<std::monostate>(params[i]) ? nullptr
                                                                          : texts_[i].c_str());
    }
  }
  int count() const { return static_cast<int>(values_.size()); }
  const char* const* values() const { return values_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<const char*> values_;
};

class PostgresRow final : public SqlRow {
 public:
  explicit PostgresRow(const PGresult* result) : result_(result) {}
  bool IsNull(int column) const override { return PQgetisnull(result_, 0, column) == 1; }
  int64_t Int(int column) const override {
    return std::strtoll(PQgetvalue(result_, 0, column), nullptr, 10);
  }
  std::string Text(int column) const override {
    return std::string(PQgetvalue(result_, 0, column),
                       static_cast<size_t>(PQgetlength(result_, 0, column)));
  }
  Blob Bytes(int column) const override {
    size_t length = 0;
    unsigned char* bytes =
        PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result_, 0, column)),
                        &length);
    if (bytes == nullptr) throw StoreError("out of memory reading bytes");
    Blob blob(bytes, bytes + length);
    PQfreemem(bytes);
    return blob;
  }

 private:
  const PGresult* result_;
};

// A failed statement's reason; one ended by the server's statement_timeout
// (SQLSTATE 57014) is a store that did not answer in time.
[[noreturn]] void ThrowFailed(const PGresult* result) {
  const std::string reason = OneLine(PQresultErrorMessage(result));
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  if (state != nullptr && std::strcmp(state, "57014") == 0) throw StoreTimeout(reason);
  throw StoreError(reason);
}

bool Failed(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK &&
         status != PGRES_SINGLE_TUPLE;
}

// The server's limit on a statement, SET again after Unhurried().
std::string LimitSql() {
  return "SET statement_timeout = " +
         std::to_string(std::chrono::milliseconds(kStatementLimit).count());
}

}  // namespace

std::string ByteaText(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "\\x";
  for (uint8_t byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

PostgresSession::PostgresSession(const std::string& database) : database_(database) {
  try {
    Connect();
  } catch (const StoreError&) {
    RethrowStoreError("cannot connect: ");
  }
}

PostgresSession::~PostgresSession() { Drop(); }

std::string PostgresSession::Reason() const { return OneLine(PQerrorMessage(conn_)); }

void PostgresSession::Connect() {
  // `database` is expanded last, so that its own settings win. Keepalives
  // and tcp_user_timeout notice a host that is gone or a network that is
  // cut, even on an idle connection; a server that stops answering while
  // its host still acknowledges is noticed by the waits alone.
  const std::string unacknowledged =
      std::to_string(std::chrono::milliseconds(kAnswerWait).count());
  const char* const keywords[] = {"fallback_application_name", "keepalives", "keepalives_idle",
                                  "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                                  "dbname", nullptr};
  const char* const values[] = {"tallygate-collector", "1", "10", "5", "3",
                                unacknowledged.c_str(), database_.c_str(), nullptr};
  pg_conn* conn = PQconnectStartParams(keywords, values, 1);
  if (conn == nullptr) throw StoreError("out of memory");
  // The server's notices ("relation ... already exists, skipping") are
  // chatter of the migrations, not events for the log; errors come as results.
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  const auto deadline = Clock::now() + kConnectWait;
  PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
  while (polled != PGRES_POLLING_OK) {
    if (polled == PGRES_POLLING_FAILED || PQstatus(conn) == CONNECTION_BAD) {
      const std::string reason = OneLine(PQerrorMessage(conn));
      PQfinish(conn);
      throw StoreError(reason);
    }
    if (!WaitFor(PQsocket(conn), polled == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
      PQfinish(conn);
      Unanswered("no answer from the server within " + SecondsText(kConnectWait));
    }
    polled = PQconnectPoll(conn);
  }
  if (PQsetnonblocking(conn, 1) != 0) {
    const std::string reason = OneLine(PQerrorMessage(conn));
    PQfinish(conn);
    throw StoreError(reason);
  }
  conn_ = conn;
  unhurried_ = false;
  try {
    // Times are read and written in UTC and ISO form (time_text.h).
    ExecScript(
        "SET TimeZone = 'UTC'; SET DateStyle = 'ISO, YMD'; SET bytea_output = 'hex';"
        " SET client_encoding = 'UTF8'; " +
        LimitSql());
    // The collector's queries read a page of rows each; a plan's estimate
    // for a search that stops at its LIMIT can be high enough for the server
    // to compile it, which costs more than the query (200 ms for a 40 ms
    // search). Servers before version 11 have no compiler and no setting.
    ExecScript("SELECT set_config(name, 'off', false) FROM pg_settings WHERE name = 'jit'");
  } catch (...) {
    Drop();
    throw;
  }
}

void PostgresSession::Drop() {
  // Nonblocking: the farewell message is not waited for.
  PQfinish(conn_);
  conn_ = nullptr;
}

void PostgresSession::Unanswered(const std::string& reason) {
  Drop();
  quiet_until_ = Clock::now() + kQuietAfterTimeout;
  unanswered_ = reason;
  throw StoreTimeout(reason);
}

pg_conn* PostgresSession::Live() {
  if (conn_ == nullptr) throw StoreError("the connection was closed after a failure");
  return conn_;
}

bool PostgresSession::Ready() {
  if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) {
    // A server that stopped or restarted while the session was idle has
    // closed its end: reading what waits tells, so the call need not fail.
    pollfd socket{PQsocket(conn_), POLLIN, 0};
    for (int i = 0; i < 8 && poll(&socket, 1, 0) == 1; ++i) {
      if (PQconsumeInput(conn_) == 0) break;
    }
    if (PQstatus(conn_) == CONNECTION_OK) {
      if (unhurried_) {
        unhurried_ = false;
        try {
          ExecScript(LimitSql());
        } catch (const StoreError&) {
          unhurried_ = true;  // set again by the next call, or by a new connection
          throw;
        }
      }
      return false;
    }
  }
  Drop();
  const auto now = Clock::now();
  if (now < quiet_until_) {
    throw StoreTimeout(unanswered_ + "; not asked again for another " +
                       SecondsText(std::chrono::ceil<std::chrono::seconds>(quiet_until_ - now)));
  }
  try {
    Connect();
  } catch (const StoreError&) {
    RethrowStoreError("the connection was lost and cannot be made again: ");
  }
  return true;
}

void PostgresSession::Unhurried() {
  if (unhurried_) return;
  ExecScript("SET statement_timeout = 0");
  unhurried_ = true;
}

int PostgresSession::Notifications(std::chrono::milliseconds wait) {
  pg_conn* conn = Live();
  const auto take = [conn] {
    int count = 0;
    while (PGnotify* notify = PQnotifies(conn)) {
      PQfreemem(notify);
      ++count;
    }
    return count;
  };
  if (const int queued = take(); queued > 0) return queued;
  WaitFor(PQsocket(conn), POLLIN, Clock::now() + wait);
  if (PQconsumeInput(conn) == 0 || PQstatus(conn) != CONNECTION_OK) {
    const std::string reason = Reason();
    Drop();
    throw StoreError(reason);
  }
  return take();
}

void PostgresSession::Await(short events) {
  const auto wait = unhurried_ ? std::chrono::duration_cast<std::chrono::seconds>(kUnhurriedWait)
                               : kAnswerWait;
  if (!WaitFor(PQsocket(conn_), events, Clock::now() + wait)) {
    Unanswered("no answer from the server within " + SecondsText(wait));
  }
}

void PostgresSession::Sent(int sent) {
  if (sent == 0) throw StoreError(Reason());
  // A nonblocking connection may keep part of the query: the rest goes as
  // the server takes it, reading what it sends meanwhile.
  for (;;) {
    const int flushed = PQflush(conn_);
    if (flushed == 0) return;
    if (flushed < 0) throw StoreError(Reason());
    Await(POLLIN | POLLOUT);
    if (PQconsumeInput(conn_) == 0) throw StoreError(Reason());
  }
}

PGresult* PostgresSession::NextResult() {
  while (PQisBusy(conn_) == 1) {
    Await(POLLIN);
    if (PQconsumeInput(conn_) == 0) throw StoreError(Reason());
  }
  return PQgetResult(conn_);
}

int64_t PostgresSession::Results() {
  Result failed;
  int64_t changed = 0;
  while (Result result{NextResult()}) {
    if (Failed(result.get())) {
      if (!failed) failed = std::move(result);
    } else {
      changed = std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
    }
  }
  if (failed) ThrowFailed(failed.get());
  return changed;
}

void PostgresSession::ExecScript(std::string_view sql) {
  Sent(PQsendQuery(Live(), std::string(sql).c_str()));
  Results();
}

int64_t PostgresSession::Exec(std::string_view sql, const std::vector<SqlValue>& params) {
  const TextParams text(params);
  Sent(PQsendQueryParams(Live(), std::string(sql).c_str(), text.count(), nullptr, text.values(),
                         nullptr, nullptr, 0));
  return Results();
}

void PostgresSession::Query(std::string_view sql, const std::vector<SqlValue>& params,
                            const std::function<void(const SqlRow&)>& row) {
  const TextParams text(params);
  const int sent = PQsendQueryParams(Live(), std::string(sql).c_str(), text.count(), nullptr,
                                     text.values(), nullptr, nullptr, 0);
  if (sent == 1) PQsetSingleRowMode(conn_);
  Sent(sent);
  Result failed;
  try {
    while (Result result{NextResult()}) {
      if (Failed(result.get())) {
        if (!failed) failed = std::move(result);
      } else if (PQresultStatus(result.get()) == PGRES_SINGLE_TUPLE && !failed) {
        row(PostgresRow(result.get()));
      }
    }
  } catch (...) {
    // The rest of the rows is not wanted, or cannot come: the connection
    // is closed rather than read to its end (a server that does not answer
    // would not take a cancel request either).
    Drop();
    throw;
  }
  if (failed) ThrowFailed(failed.get());
}

}  // namespace tallygate::collector
