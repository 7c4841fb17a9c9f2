#include "collector/store/postgres_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cstdlib>
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

PostgresSession::PostgresSession(const std::string& database) {
  // `database` is expanded last, so that its own settings win.
  const char* const keywords[] = {"connect_timeout", "fallback_application_name", "dbname",
                                  nullptr};
  const char* const values[] = {"10", "tallygate-collector", database.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (conn_ == nullptr) throw StoreError("cannot connect: out of memory");
  // The server's notices ("relation ... already exists, skipping") are
  // chatter of the migrations, not events for the log; errors come as results.
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string reason = Reason();
    PQfinish(conn_);
    throw StoreError("cannot connect: " + reason);
  }
  try {
    Setup();
  } catch (...) {
    PQfinish(conn_);
    throw;
  }
}

PostgresSession::~PostgresSession() { PQfinish(conn_); }

std::string PostgresSession::Reason() const { return OneLine(PQerrorMessage(conn_)); }

void PostgresSession::Setup() {
  // Times are read and written in UTC and ISO form (time_text.h).
  ExecScript(
      "SET TimeZone = 'UTC'; SET DateStyle = 'ISO, YMD'; SET bytea_output = 'hex';"
      " SET client_encoding = 'UTF8'");
  // The collector's queries read a page of rows each; a plan's estimate for
  // a search that stops at its LIMIT can be high enough for the server to
  // compile it, which costs more than the query (200 ms for a 40 ms search).
  // Servers before version 11 have no compiler and no setting.
  ExecScript("SELECT set_config(name, 'off', false) FROM pg_settings WHERE name = 'jit'");
}

bool PostgresSession::Ready() {
  if (PQstatus(conn_) == CONNECTION_OK) {
    // A server that stopped or restarted while the session was idle has
    // closed its end: reading what waits tells, so the call need not fail.
    pollfd socket{PQsocket(conn_), POLLIN, 0};
    for (int i = 0; i < 8 && poll(&socket, 1, 0) == 1; ++i) {
      if (PQconsumeInput(conn_) == 0) break;
    }
    if (PQstatus(conn_) == CONNECTION_OK) return false;
  }
  PQreset(conn_);
  if (PQstatus(conn_) != CONNECTION_OK) {
    throw StoreError("the connection was lost and cannot be made again: " + Reason());
  }
  Setup();
  return true;
}

void PostgresSession::ExecScript(std::string_view sql) {
  Result result(PQexec(conn_, std::string(sql).c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw StoreError(result ? OneLine(PQresultErrorMessage(result.get())) : Reason());
  }
}

int64_t PostgresSession::Exec(std::string_view sql, const std::vector<SqlValue>& params) {
  const TextParams text(params);
  Result result(PQexecParams(conn_, std::string(sql).c_str(), text.count(), nullptr,
                             text.values(), nullptr, nullptr, 0));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw StoreError(result ? OneLine(PQresultErrorMessage(result.get())) : Reason());
  }
  return std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
}

void PostgresSession::Query(std::string_view sql, const std::vector<SqlValue>& params,
                            const std::function<void(const SqlRow&)>& row) {
  const TextParams text(params);
  if (PQsendQueryParams(conn_, std::string(sql).c_str(), text.count(), nullptr, text.values(),
                        nullptr, nullptr, 0) == 0) {
    throw StoreError(Reason());
  }
  PQsetSingleRowMode(conn_);
  std::string failure;
  try {
    while (Result result{PQgetResult(conn_)}) {
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_SINGLE_TUPLE) {
        if (failure.empty()) row(PostgresRow(result.get()));
      } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && failure.empty()) {
        failure = OneLine(PQresultErrorMessage(result.get()));
      }
    }
  } catch (...) {
    Abandon();
    throw;
  }
  if (!failure.empty()) throw StoreError(failure);
}

void PostgresSession::Abandon() {
  if (PGcancel* cancel = PQgetCancel(conn_)) {
    char ignored[256];
    PQcancel(cancel, ignored, sizeof ignored);
    PQfreeCancel(cancel);
  }
  while (Result result{PQgetResult(conn_)}) {
  }
}

}  // namespace tallygate::collector
