#include "collector/store/sql_store.h"

#include <algorithm>
#include <utility>

#include "collector/store/time_text.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kPunchColumns =
    "p.terminal, p.card, p.local_time, p.utc_time, p.flag, p.keep, p.bytes, p.raw, p.position";

// ---- Values in ----------------------------------------------------------------

SqlValue BytesValue(std::span<const uint8_t> bytes) { return Blob(bytes.begin(), bytes.end()); }

SqlValue LocalValue(const std::optional<LocalTime>& time) {
  return time ? SqlValue(LocalTimeText(*time)) : SqlValue();
}

SqlValue UtcValue(const std::optional<UtcTime>& time) {
  return time ? SqlValue(UtcTimeText(*time)) : SqlValue();
}

SqlValue IntValue(const std::optional<int32_t>& value) {
  return value ? SqlValue(int64_t{*value}) : SqlValue();
}

// ---- Values out ---------------------------------------------------------------

std::optional<std::chrono::seconds> ReadTime(const SqlRow& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  const std::string text = row.Text(column);
  auto seconds = ParseTimeText(text);
  if (!seconds) throw StoreError("a stored time is not one: \"" + text + "\"");
  return seconds;
}

std::optional<UtcTime> ReadUtc(const SqlRow& row, int column) {
  auto seconds = ReadTime(row, column);
  if (!seconds) return std::nullopt;
  return UtcTime{*seconds};
}

std::optional<LocalTime> ReadLocal(const SqlRow& row, int column) {
  auto seconds = ReadTime(row, column);
  if (!seconds) return std::nullopt;
  return LocalTime{*seconds};
}

std::optional<int32_t> ReadOptionalInt(const SqlRow& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return static_cast<int32_t>(row.Int(column));
}

template <size_t N>
std::array<uint8_t, N> ReadFixed(const SqlRow& row, int column) {
  const Blob bytes = row.Bytes(column);
  if (bytes.size() != N) {
    throw StoreError("stored bytes have the wrong length: " + std::to_string(bytes.size()) +
                     " for " + std::to_string(N));
  }
  std::array<uint8_t, N> fixed{};
  std::copy(bytes.begin(), bytes.end(), fixed.begin());
  return fixed;
}

// The columns of kPunchColumns from `first` on.
Punch ReadPunch(const SqlRow& row, int first) {
  Punch punch;
  punch.card = static_cast<uint32_t>(row.Int(first + 1));
  punch.local = ReadLocal(row, first + 2);
  punch.utc = ReadUtc(row, first + 3);
  punch.flag = static_cast<uint8_t>(row.Int(first + 4));
  punch.keep = static_cast<uint8_t>(row.Int(first + 5));
  punch.bytes = ReadFixed<12>(row, first + 6);
  punch.raw = ReadFixed<16>(row, first + 7);
  punch.position = static_cast<int32_t>(row.Int(first + 8));
  return punch;
}

Mark ReadMark(const SqlRow& row, int first) {
  Mark mark;
  mark.positions = static_cast<int32_t>(row.Int(first));
  if (!row.IsNull(first + 1)) mark.last = ReadFixed<12>(row, first + 1);
  return mark;
}

// ---- The punch search -----------------------------------------------------------

struct PunchQuery {
  std::string sql;
  std::vector<SqlValue> params;
};

// Only the filter's conditions are in the text, so that each database can
// use its indexes; the values stay parameters.
PunchQuery BuildPunchQuery(const PunchFilter& filter) {
  PunchQuery query;
  std::vector<std::string> conditions;
  auto add = [&](const std::string& condition, SqlValue value) {
    query.params.push_back(std::move(value));
    conditions.push_back(condition + " $" + std::to_string(query.params.size()));
  };
  if (filter.from) add("p.local_time >=", LocalTimeText(*filter.from));
  if (filter.to) add("p.local_time <", LocalTimeText(*filter.to));
  if (filter.terminal) add("p.terminal =", *filter.terminal);
  if (filter.card) add("p.card =", int64_t{*filter.card});

  // A card may stand twice on a list: the first place is its entry, so that
  // no punch is listed twice.
  query.sql = "SELECT ";
  query.sql += kPunchColumns;
  query.sql +=
      ", c.staff, c.name FROM punches p"
      " LEFT JOIN cards c ON c.terminal = p.terminal AND c.position ="
      " (SELECT min(e.position) FROM cards e WHERE e.terminal = p.terminal AND e.card = p.card)";
  for (size_t i = 0; i < conditions.size(); ++i) {
    query.sql += (i == 0 ? " WHERE " : " AND ") + conditions[i];
  }
  query.sql += " ORDER BY p.terminal, p.local_time NULLS LAST, p.position, p.id";
  return query;
}

}  // namespace

SqlStore::SqlStore(std::unique_ptr<SqlSession> session, std::string described)
    : session_(std::move(session)), described_(std::move(described)) {}

void SqlStore::Fail(const std::string& what, const std::string& reason) const {
  throw StoreError(described_ + ": " + what + ": " + reason);
}

void SqlStore::Migrate(std::span<const std::string_view> versions) {
  Run("bringing the schema up to date", [&] {
    SqlTransaction transaction(*session_);
    LockSchema();
    session_->ExecScript("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)");
    int64_t version = 0;
    session_->Query("SELECT max(version) FROM schema_version", {}, [&](const SqlRow& row) {
      if (!row.IsNull(0)) version = row.Int(0);
    });
    const auto known = static_cast<int64_t>(versions.size());
    if (version > known) {
      throw StoreError("the schema is version " + std::to_string(version) +
                       ", newer than this program knows (" + std::to_string(known) +
                       "); use the tallygate-collector that wrote it, or a newer one");
    }
    if (version == known) return;  // rolled back: nothing was changed
    for (auto step = versions.begin() + version; step != versions.end(); ++step) {
      session_->ExecScript(*step);
    }
    session_->Exec("DELETE FROM schema_version");
    session_->Exec("INSERT INTO schema_version (version) VALUES ($1)", {known});
    transaction.Commit();
  });
}

void SqlStore::SaveTerminal(const TerminalInfo& terminal) {
  Run("saving terminal " + terminal.name, [&] {
    session_->Exec(
        "INSERT INTO terminals (name, endpoint, address, time_zone) VALUES ($1, $2, $3, $4)"
        " ON CONFLICT (name) DO UPDATE SET endpoint = excluded.endpoint,"
        " address = excluded.address, time_zone = excluded.time_zone",
        {terminal.name, terminal.endpoint, int64_t{terminal.address}, terminal.time_zone});
  });
}

Mark SqlStore::LoadMark(const std::string& terminal) {
  return Run("reading the mark of " + terminal, [&] {
    Mark mark;
    session_->Query("SELECT mark_positions, mark_last FROM terminals WHERE name = $1",
                    {terminal}, [&](const SqlRow& row) { mark = ReadMark(row, 0); });
    return mark;
  });
}

int64_t SqlStore::BeginCollection(const Collection& collection) {
  return Run("starting a collection of " + collection.terminal, [&] {
    int64_t id = 0;
    session_->Query(
        "INSERT INTO collections (terminal, started, count, from_position, positions_fetched,"
        " punches_added, pages_lost, outcome, error) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)"
        " RETURNING id",
        {collection.terminal, UtcTimeText(collection.started), IntValue(collection.count),
         int64_t{collection.from_position}, int64_t{collection.positions_fetched},
         int64_t{collection.punches_added}, int64_t{collection.pages_lost},
         std::string(OutcomeName(collection.outcome)), collection.error},
        [&](const SqlRow& row) { id = row.Int(0); });
    return id;
  });
}

int32_t SqlStore::InsertPunches(const std::string& terminal, int64_t collection,
                                std::span<const Punch> punches) {
  int32_t added = 0;
  for (const Punch& punch : punches) {
    added += static_cast<int32_t>(session_->Exec(
        "INSERT INTO punches (terminal, collection, position, bytes, card, local_time, utc_time,"
        " flag, keep, raw) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)"
        " ON CONFLICT (terminal, bytes) DO NOTHING",
        {terminal, collection, int64_t{punch.position}, BytesValue(punch.bytes),
         int64_t{punch.card}, LocalValue(punch.local), UtcValue(punch.utc),
         int64_t{punch.flag}, int64_t{punch.keep}, BytesValue(punch.raw)}));
  }
  return added;
}

int32_t SqlStore::StorePage(const std::string& terminal, int64_t collection,
                            std::span<const Punch> punches, const Mark& mark) {
  return Run("storing a page of " + terminal, [&] {
    RequireClaim(terminal);
    SqlTransaction transaction(*session_);
    const int32_t added = InsertPunches(terminal, collection, punches);
    const int64_t marked = session_->Exec(
        "UPDATE terminals SET mark_positions = $2, mark_last = $3 WHERE name = $1",
        {terminal, int64_t{mark.positions}, mark.last ? BytesValue(*mark.last) : SqlValue()});
    if (marked == 0) throw StoreError("the terminal is not in the store");
    transaction.Commit();
    return added;
  });
}

void SqlStore::ResetMark(const std::string& terminal) {
  Run("resetting the mark of " + terminal, [&] {
    RequireClaim(terminal);
    session_->Exec("UPDATE terminals SET mark_positions = 0, mark_last = NULL WHERE name = $1",
                   {terminal});
  });
}

void SqlStore::FinishCollection(int64_t id, const Collection& collection,
                                std::optional<UtcTime> backoff_until) {
  Run("finishing collection " + std::to_string(id) + " of " + collection.terminal, [&] {
    SqlTransaction transaction(*session_);
    const int64_t found = session_->Exec(
        "UPDATE collections SET ended = $2, count = $3, from_position = $4,"
        " positions_fetched = $5, punches_added = $6, pages_lost = $7, outcome = $8, error = $9"
        " WHERE id = $1",
        {id, UtcTimeText(collection.ended), IntValue(collection.count),
         int64_t{collection.from_position}, int64_t{collection.positions_fetched},
         int64_t{collection.punches_added}, int64_t{collection.pages_lost},
         std::string(OutcomeName(collection.outcome)), collection.error});
    if (found == 0) throw StoreError("no such collection");
    const bool success = collection.outcome == Outcome::kComplete ||
                         collection.outcome == Outcome::kCleared;
    // A poll without an answer keeps the count of the last one that had one.
    session_->Exec(
        "UPDATE terminals SET last_poll = $2, last_success = COALESCE($3, last_success),"
        " last_count = COALESCE($4, last_count), last_error = $5, backoff_until = $6"
        " WHERE name = (SELECT terminal FROM collections WHERE id = $1)",
        {id, UtcTimeText(collection.ended),
         success ? UtcValue(collection.ended) : SqlValue(), IntValue(collection.count),
         collection.error, UtcValue(backoff_until)});
    transaction.Commit();
  });
}

void SqlStore::InsertCards(const std::string& terminal, std::span<const CardEntry> cards,
                           UtcTime collected) {
  for (const CardEntry& card : cards) {
    session_->Exec(
        "INSERT INTO cards (terminal, position, card, staff, name, raw_name, collected)"
        " VALUES ($1, $2, $3, $4, $5, $6, $7)",
        {terminal, int64_t{card.position}, int64_t{card.card}, card.staff, card.name,
         card.raw_name, UtcTimeText(collected)});
  }
}

void SqlStore::ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                            UtcTime collected) {
  Run("replacing the card list of " + terminal, [&] {
    SqlTransaction transaction(*session_);
    session_->Exec("DELETE FROM cards WHERE terminal = $1", {terminal});
    InsertCards(terminal, cards, collected);
    transaction.Commit();
  });
}

std::vector<TerminalState> SqlStore::States() {
  return Run("reading the terminals' states", [&] {
    std::vector<TerminalState> states;
    session_->Query(
        "SELECT t.name, t.endpoint, t.address, t.time_zone, t.mark_positions, t.mark_last,"
        " t.last_poll, t.last_success, t.backoff_until, t.last_count, t.last_error,"
        " (SELECT count(*) FROM punches p WHERE p.terminal = t.name)"
        " FROM terminals t ORDER BY t.name",
        {}, [&](const SqlRow& row) {
          TerminalState& state = states.emplace_back();
          state.info = {row.Text(0), row.Text(1), static_cast<int>(row.Int(2)), row.Text(3)};
          state.mark = ReadMark(row, 4);
          state.last_poll = ReadUtc(row, 6);
          state.last_success = ReadUtc(row, 7);
          state.backoff_until = ReadUtc(row, 8);
          state.count = ReadOptionalInt(row, 9);
          state.last_error = row.Text(10);
          state.punches = row.Int(11);
        });
    return states;
  });
}

std::vector<Collection> SqlStore::Collections(const std::string& terminal, int limit) {
  return Run("reading the collections of " + terminal, [&] {
    std::vector<Collection> collections;
    session_->Query(
        "SELECT terminal, started, ended, count, from_position, positions_fetched,"
        " punches_added, pages_lost, outcome, error FROM collections"
        " WHERE terminal = $1 ORDER BY id DESC LIMIT $2",
        {terminal, int64_t{limit}}, [&](const SqlRow& row) {
          Collection& collection = collections.emplace_back();
          collection.terminal = row.Text(0);
          collection.started = ReadUtc(row, 1).value_or(UtcTime{});
          collection.ended = ReadUtc(row, 2).value_or(UtcTime{});  // still running
          collection.count = ReadOptionalInt(row, 3);
          collection.from_position = static_cast<int32_t>(row.Int(4));
          collection.positions_fetched = static_cast<int32_t>(row.Int(5));
          collection.punches_added = static_cast<int32_t>(row.Int(6));
          collection.pages_lost = static_cast<int32_t>(row.Int(7));
          const std::string outcome = row.Text(8);
          const auto known = OutcomeFromName(outcome);
          if (!known) throw StoreError("unknown outcome \"" + outcome + "\"");
          collection.outcome = *known;
          collection.error = row.Text(9);
        });
    return collections;
  });
}

void SqlStore::ForEachPunch(const PunchFilter& filter,
                            const std::function<void(const PunchRow&)>& row) {
  Run("reading punches", [&] {
    const PunchQuery query = BuildPunchQuery(filter);
    PunchRow out;
    session_->Query(query.sql, query.params, [&](const SqlRow& in) {
      out.terminal = in.Text(0);
      out.punch = ReadPunch(in, 0);
      out.staff = in.IsNull(9) ? std::string() : in.Text(9);
      out.name = in.IsNull(10) ? std::string() : in.Text(10);
      row(out);
    });
  });
}

void SqlStore::Check() {
  Run("checking the store", [&] { session_->Query("SELECT 1", {}, [](const SqlRow&) {}); });
}

}  // namespace tallygate::collector
