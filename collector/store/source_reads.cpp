// SqlStore's keeping of each HR source's last read. Its counts and lists
// are one JSON report: they are only ever read whole, to be shown.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "collector/store/sql_store.h"
#include "collector/store/sql_values.h"

namespace tallygate::collector {
namespace {

using nlohmann::json;

std::string Report(const SourceRead& read) {
  json held = json::array();
  for (const HeldRevocation& each : read.held) {
    held.push_back({{"card", each.card}, {"staff", each.staff}, {"name", each.name}});
  }
  // Names come from the HR system: invalid UTF-8 is replaced, not refused,
  // so that the read is kept whatever it held.
  return json{{"employees", read.employees}, {"added", read.added},   {"changed", read.changed},
              {"revoked", read.revoked},     {"skipped", read.skipped}, {"problems", read.problems},
              {"held", held},                {"revoke_limit", read.revoke_limit}}
      .dump(-1, ' ', false, json::error_handler_t::replace);
}

void ReadReport(const std::string& text, SourceRead& read) {
  const json report = json::parse(text, nullptr, false);
  if (!report.is_object()) return;  // kept by this code: never so
  read.employees = report.value("employees", int64_t{0});
  read.added = report.value("added", int64_t{0});
  read.changed = report.value("changed", int64_t{0});
  read.revoked = report.value("revoked", int64_t{0});
  read.skipped = report.value("skipped", std::vector<std::string>{});
  read.problems = report.value("problems", std::vector<std::string>{});
  read.revoke_limit = report.value("revoke_limit", int64_t{0});
  for (const json& each : report.value("held", json::array())) {
    read.held.push_back({each.value("card", uint32_t{0}), each.value("staff", std::string()),
                         each.value("name", std::string())});
  }
}

}  // namespace

void SqlStore::KeepSourceRead(const SourceRead& read) {
  Run("keeping the last read of holder source " + read.source, [&] {
    const bool made = read.outcome == SourceRead::Outcome::kMade;
    session().Exec(
        "INSERT INTO holder_sources (name, read_at, outcome, success_at, report)"
        " VALUES ($1, $2, $3, $4, $5) ON CONFLICT (name) DO UPDATE SET"
        " read_at = excluded.read_at, outcome = excluded.outcome,"
        " success_at = COALESCE(excluded.success_at, holder_sources.success_at),"
        " report = excluded.report",
        {read.source, UtcValue(read.at), std::string(SourceOutcomeName(read.outcome)),
         made ? UtcValue(read.at) : UtcValue(std::nullopt), Report(read)});
  });
}

std::vector<SourceRead> SqlStore::SourceReads() {
  return Run("reading the holder sources' last reads", [&] {
    std::vector<SourceRead> reads;
    session().Query(
        "SELECT name, read_at, outcome, success_at, report FROM holder_sources ORDER BY name", {},
        [&](const SqlRow& row) {
          SourceRead read;
          read.source = row.Text(0);
          read.at = ReadUtc(row, 1).value_or(UtcTime{});
          read.outcome = SourceOutcomeFromName(row.Text(2)).value_or(SourceRead::Outcome::kFailed);
          read.last_success = ReadUtc(row, 3);
          ReadReport(row.Text(4), read);
          reads.push_back(std::move(read));
        });
    return reads;
  });
}

}  // namespace tallygate::collector
