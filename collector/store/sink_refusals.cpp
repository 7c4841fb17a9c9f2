// SqlStore's keeping of the punches sinks' receivers refused, and what
// an HR sink's Shift Type sync reads.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/store/punch_query.h"
#include "collector/store/sql_store.h"
#include "collector/store/sql_values.h"

namespace tallygate::collector {

void SqlStore::KeepRefusals(const std::string& sink, const std::vector<RefusedPunch>& refused) {
  if (refused.empty()) return;
  Run("keeping the punches sink " + sink + " refused", [&] {
    SqlTransaction transaction(session());
    for (const RefusedPunch& each : refused) {
      session().Exec(
          "INSERT INTO sink_refusals (sink, punch, reason, refused_at, again)"
          " VALUES ($1, $2, $3, $4, 0) ON CONFLICT (sink, punch) DO UPDATE SET"
          " reason = excluded.reason, refused_at = excluded.refused_at, again = 0",
          {sink, each.punch, each.reason, UtcValue(each.at)});
    }
    transaction.Commit();
  });
}

void SqlStore::ForgetRefusals(const std::string& sink, const std::vector<int64_t>& punches) {
  if (punches.empty()) return;
  Run("forgetting the punches sink " + sink + " placed", [&] {
    SqlTransaction transaction(session());
    for (int64_t punch : punches) {
      session().Exec("DELETE FROM sink_refusals WHERE sink = $1 AND punch = $2", {sink, punch});
    }
    transaction.Commit();
  });
}

std::vector<std::pair<PunchRow, RefusedPunch>> SqlStore::Refusals(const std::string& sink,
                                                                  bool again_only, int limit) {
  return Run("reading the punches sink " + sink + " refused", [&] {
    std::vector<std::pair<PunchRow, RefusedPunch>> rows;
    if (limit < 1) return rows;
    StreamPunchRows(RefusedQuery(sink, again_only, limit),
                    [&](const PunchRow& punch, const SqlRow& row) {
                      RefusedPunch refusal;
                      refusal.punch = punch.id;
                      refusal.reason = row.Text(kRefusalColumn);
                      refusal.at = ReadUtc(row, kRefusalColumn + 1).value_or(UtcTime{});
                      refusal.again = row.Int(kRefusalColumn + 2) != 0;
                      rows.emplace_back(punch, std::move(refusal));
                    });
    return rows;
  });
}

std::vector<std::pair<std::string, int64_t>> SqlStore::RefusalCounts() {
  return Run("counting the punches sinks refused", [&] {
    std::vector<std::pair<std::string, int64_t>> counts;
    session().Query("SELECT sink, count(*) FROM sink_refusals GROUP BY sink ORDER BY sink", {},
                    [&](const SqlRow& row) { counts.emplace_back(row.Text(0), row.Int(1)); });
    return counts;
  });
}

int64_t SqlStore::AskAgain(const std::string& sink, std::optional<uint32_t> card) {
  return Run("asking sink " + sink + " to send its refused punches again", [&] {
    if (!card) return session().Exec("UPDATE sink_refusals SET again = 1 WHERE sink = $1", {sink});
    return session().Exec(
        "UPDATE sink_refusals SET again = 1 WHERE sink = $1 AND punch IN"
        " (SELECT id FROM punches WHERE card = $2)",
        {sink, int64_t{*card}});
  });
}

std::vector<std::pair<std::string, UtcTime>> SqlStore::OldestAfter(int64_t after) {
  return Run("reading the oldest punch of each terminal after " + std::to_string(after), [&] {
    std::vector<std::pair<std::string, UtcTime>> oldest;
    session().Query(
        "SELECT p.terminal, min(COALESCE(p.utc_time, c.started)) FROM punches p"
        " JOIN collections c ON c.id = p.collection WHERE p.id > $1 GROUP BY p.terminal"
        " ORDER BY p.terminal",
        {after}, [&](const SqlRow& row) {
          if (const auto time = ReadUtc(row, 1)) oldest.emplace_back(row.Text(0), *time);
        });
    return oldest;
  });
}

}  // namespace tallygate::collector
