// SqlStore's operations for delivering punches onward: reading them in the
// order they were committed, and each sink's state.
#include <optional>
#include <string>
#include <vector>

#include "collector/base/time_text.h"
#include "collector/store/punch_query.h"
#include "collector/store/sql_store.h"
#include "collector/store/sql_values.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kSinkColumns =
    "SELECT name, position, batch_last, batch_id, batch_file, stopped, stopped_at, delivered,"
    " failures, last_error, shift_sync FROM sinks";

SinkState ReadSink(const SqlRow& row) {
  SinkState state;
  state.name = row.Text(0);
  state.position = row.Int(1);
  state.batch_last = row.Int(2);
  state.batch_id = row.Text(3);
  state.batch_file = row.Text(4);
  state.stopped = row.Text(5);
  state.stopped_at = ReadUtc(row, 6);
  state.delivered = ReadUtc(row, 7);
  state.failures = row.Int(8);
  state.last_error = row.Text(9);
  if (const auto sync = ReadTime(row, 10)) state.shift_sync = LocalTime{*sync};
  return state;
}

}  // namespace

std::vector<PunchRow> SqlStore::PunchesAfter(int64_t after, int limit) {
  return Run("reading punches after " + std::to_string(after), [&] {
    std::vector<PunchRow> rows;
    if (limit < 1) return rows;
    StreamPunches(StoredAfterQuery(after, limit),
                  [&](const PunchRow& row) { rows.push_back(row); });
    return rows;
  });
}

int64_t SqlStore::LastPunchId() {
  return Run("reading the last punch", [&] {
    int64_t last = 0;
    session().Query("SELECT max(id) FROM punches", {}, [&](const SqlRow& row) {
      if (!row.IsNull(0)) last = row.Int(0);
    });
    return last;
  });
}

SinkBacklog SqlStore::Backlog(int64_t after) {
  return Run("reading the punches after " + std::to_string(after), [&] {
    SinkBacklog backlog;
    int64_t first = 0;
    session().Query("SELECT count(*), min(id) FROM punches WHERE id > $1", {after},
                    [&](const SqlRow& row) {
                      backlog.punches = row.Int(0);
                      if (!row.IsNull(1)) first = row.Int(1);
                    });
    if (first == 0) return backlog;
    session().Query(
        "SELECT COALESCE(p.utc_time, c.started) FROM punches p"
        " JOIN collections c ON c.id = p.collection WHERE p.id = $1",
        {first}, [&](const SqlRow& row) { backlog.oldest = ReadUtc(row, 0); });
    return backlog;
  });
}

std::optional<SinkState> SqlStore::LoadSink(const std::string& sink) {
  return Run("reading sink " + sink, [&] {
    std::optional<SinkState> state;
    session().Query(std::string(kSinkColumns) + " WHERE name = $1", {sink},
                    [&](const SqlRow& row) { state = ReadSink(row); });
    return state;
  });
}

std::vector<SinkState> SqlStore::Sinks() {
  return Run("reading the sinks", [&] {
    std::vector<SinkState> sinks;
    session().Query(std::string(kSinkColumns) + " ORDER BY name", {},
                    [&](const SqlRow& row) { sinks.push_back(ReadSink(row)); });
    return sinks;
  });
}

void SqlStore::SaveSink(const SinkState& state) {
  Run("saving sink " + state.name, [&] {
    std::vector<SqlValue> params = {
        state.name,       state.position,  state.batch_last,           state.batch_id,
        state.batch_file, state.stopped,   UtcValue(state.stopped_at), UtcValue(state.delivered),
        state.failures,   state.last_error,  state.shift_sync ? SqlValue(LocalTimeText(*state.shift_sync)) : SqlValue()};
    // Saved only while the claim holds, checked by the statement itself: a
    // collector that lost it (its connection dropped while it was posting)
    // must not put back a position another has since moved on.
    const std::string claimed = SinkClaimHeld(state.name, params);
    const int64_t saved = session().Exec(
        "INSERT INTO sinks (name, position, batch_last, batch_id, batch_file, stopped,"
        " stopped_at, delivered, failures, last_error, shift_sync)"
        " SELECT $1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11 WHERE " + claimed +
        " ON CONFLICT (name) DO UPDATE SET position = excluded.position,"
        " batch_last = excluded.batch_last, batch_id = excluded.batch_id,"
        " batch_file = excluded.batch_file, stopped = excluded.stopped,"
        " stopped_at = excluded.stopped_at, delivered = excluded.delivered,"
        " failures = excluded.failures, last_error = excluded.last_error,"
        " shift_sync = excluded.shift_sync",
        params);
    if (saved == 0) {
      throw StoreError("this collector's claim on the sink was lost (another may deliver it"
                       " now), so nothing was saved");
    }
  });
}

bool SqlStore::ResumeSink(const std::string& sink) {
  return Run("resuming sink " + sink, [&] {
    return session().Exec(
               "UPDATE sinks SET stopped = '', stopped_at = NULL WHERE name = $1 AND stopped <> ''",
               {sink}) > 0;
  });
}

}  // namespace tallygate::collector
