#include "collector/store/sql_store.h"

#include <algorithm>
#include <utility>

#include "collector/store/punch_query.h"
#include "collector/store/sql_values.h"
#include "collector/base/time_text.h"
#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

// ---- Values in ----------------------------------------------------------------


SqlValue LocalValue(const std::optional<LocalTime>& time) {
  return time ? SqlValue(LocalTimeText(*time)) : SqlValue();
}

SqlValue IntValue(const std::optional<int32_t>& value) {
  return value ? SqlValue(int64_t{*value}) : SqlValue();
}

// ---- Values out ---------------------------------------------------------------

std::optional<LocalTime> ReadLocal(const SqlRow& row, int column) {
  auto seconds = ReadTime(row, column);
  if (!seconds) return std::nullopt;
  return LocalTime{*seconds};
}

std::optional<int32_t> ReadOptionalInt(const SqlRow& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return static_cast<int32_t>(row.Int(column));
}

// The punch's columns (terminal, card, ... position) from `first` on.
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


// The columns of punch_query.h.
void ReadPunchRow(const SqlRow& in, PunchRow& out) {
  out.terminal = in.Text(0);
  out.punch = ReadPunch(in, 0);
  out.id = in.Int(kPunchIdColumn);
  out.staff = in.IsNull(kEntryColumn) ? std::string() : in.Text(kEntryColumn);
  out.name = in.IsNull(kEntryColumn + 1) ? std::string() : in.Text(kEntryColumn + 1);
}

// A search's order: local time descending with undated punches last, then
// id descending.
bool NewestFirst(const PunchRow& a, const PunchRow& b) {
  const auto& x = a.punch.local;
  const auto& y = b.punch.local;
  if (x.has_value() != y.has_value()) return x.has_value();
  if (x != y) return *x > *y;
  return a.id > b.id;
}

// ---- Cardholders -----------------------------------------------------------------

SqlValue DayValue(const std::optional<LocalDay>& day) {
  return day ? SqlValue(DayText(*day)) : SqlValue();
}

std::optional<LocalDay> ReadDay(const SqlRow& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  const std::string text = row.Text(column);
  const std::optional<LocalDay> day = ParseDay(text);
  if (!day) throw StoreError("a stored date is not one: \"" + text + "\"");
  return day;
}

std::vector<std::string> SplitWhere(const std::string& text) {
  std::vector<std::string> names;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(';', start), text.size());
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

CardAction ReadAction(const SqlRow& row, int column) {
  const std::string name = row.Text(column);
  for (CardAction action : {CardAction::kAdd, CardAction::kChange, CardAction::kRevoke}) {
    if (name == CardActionName(action)) return action;
  }
  throw StoreError("unknown card action \"" + name + "\"");
}

constexpr std::string_view kSuccess = "outcome IN ('complete', 'cleared')";
// Busy and claimed-elsewhere polls are neither: they leave a terminal's
// failures as they were.
constexpr std::string_view kFailure =
    "outcome IN ('partial', 'unreachable', 'store-failed', 'wrong-terminal')";

}  // namespace

SqlStore::SqlStore(std::unique_ptr<SqlSession> session, std::string described)
    : session_(std::move(session)), described_(std::move(described)) {}

void SqlStore::Migrate(std::span<const std::string_view> versions) {
  Run("bringing the schema up to date", [&] {
    // Waits for another collector's upgrade, and rebuilds indexes of
    // tables that may be large.
    session_->Unhurried();
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
        " address = excluded.address, time_zone = excluded.time_zone"
        // Unchanged (as at every start): no write, so no commit to sync.
        " WHERE terminals.endpoint IS DISTINCT FROM excluded.endpoint"
        " OR terminals.address IS DISTINCT FROM excluded.address"
        " OR terminals.time_zone IS DISTINCT FROM excluded.time_zone",
        {terminal.name, terminal.endpoint, int64_t{terminal.address}, terminal.time_zone});
  });
}

Mark SqlStore::LoadMark(const std::string& terminal) {
  return Run("reading the mark of " + terminal, [&] {
    Mark mark;
    session_->Query("SELECT mark_positions, mark_last, mark_first FROM terminals WHERE name = $1",
                    {terminal}, [&](const SqlRow& row) {
mark = ReadMark(row, 0, true); });
    return mark;
  });
}

int64_t SqlStore::InsertCollection(const Collection& collection) {
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
}

int64_t SqlStore::BeginCollection(const Collection& collection) {
  return Run("starting a collection of " + collection.terminal,
             [&] { return InsertCollection(collection); });
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
         int64_t{punch.card}, LocalValue(punch.local), UtcValue(punch.utc), int64_t{punch.flag},
         int64_t{punch.keep}, BytesValue(punch.raw)}));
  }
  return added;
}

int32_t SqlStore::StorePage(const std::string& terminal, int64_t collection,
                            std::span<const Punch> punches, const Mark& mark) {
  const int32_t stored = Run("storing a page of " + terminal, [&] {
    RequireClaim(terminal);
    SqlTransaction transaction(*session_);
    if (!punches.empty()) LockPunches();
    const int32_t added = InsertPunches(terminal, collection, punches);
    if (added > 0) AnnouncePunches();
    const int64_t marked = session_->Exec(
        "UPDATE terminals SET mark_positions = $2, mark_last = $3, mark_first = $5,"
        " punches = punches + $4 WHERE name = $1",
        {terminal, int64_t{mark.positions}, mark.last ? BytesValue(*mark.last) : SqlValue(),
         int64_t{added}, mark.first ? BytesValue(*mark.first) : SqlValue()});
    if (marked == 0) throw StoreError("the terminal is not in the store");
    transaction.Commit();
    return added;
  });
  if (stored > 0 && events_.stored) events_.stored();
  return stored;
}

void SqlStore::ResetMark(const std::string& terminal) {
  Run("resetting the mark of " + terminal, [&] {
    RequireClaim(terminal);
    session_->Exec("UPDATE terminals SET mark_positions = 0, mark_last = NULL, mark_first = NULL"
                   " WHERE name = $1",
                   {terminal});
  });
}

void SqlStore::EndCollection(int64_t id, const Collection& collection,
                             std::optional<UtcTime> backoff_until) {
  const int64_t found = session_->Exec(
      "UPDATE collections SET ended = $2, count = $3, from_position = $4,"
      " positions_fetched = $5, punches_added = $6, pages_lost = $7, outcome = $8, error = $9"
      " WHERE id = $1",
      {id, UtcTimeText(collection.ended), IntValue(collection.count),
       int64_t{collection.from_position}, int64_t{collection.positions_fetched},
       int64_t{collection.punches_added}, int64_t{collection.pages_lost},
       std::string(OutcomeName(collection.outcome)), collection.error});
  if (found == 0) throw StoreError("no such collection");
  const bool success =
      collection.outcome == Outcome::kComplete || collection.outcome == Outcome::kCleared;
  // A poll without an answer keeps the count of the last one that had one.
  session_->Exec(
      "UPDATE terminals SET last_poll = $2, last_success = COALESCE($3, last_success),"
      " last_count = COALESCE($4, last_count), last_error = $5, backoff_until = $6,"
      " complete_to = COALESCE($7, complete_to)"
      " WHERE name = (SELECT terminal FROM collections WHERE id = $1)",
      {id, UtcTimeText(collection.ended), success ? UtcValue(collection.ended) : SqlValue(),
       IntValue(collection.count), collection.error, UtcValue(backoff_until),
       success ? UtcValue(collection.started) : SqlValue()});
}

void SqlStore::FinishCollection(int64_t id, const Collection& collection,
                                std::optional<UtcTime> backoff_until) {
  Run("finishing collection " + std::to_string(id) + " of " + collection.terminal, [&] {
    SqlTransaction transaction(*session_);
    EndCollection(id, collection, backoff_until);
    transaction.Commit();
  });
}

int64_t SqlStore::RecordCollection(const Collection& collection,
                                   std::optional<UtcTime> backoff_until) {
  return Run("recording a collection of " + collection.terminal, [&] {
    SqlTransaction transaction(*session_, SqlTransaction::Sync::kUnsynced);
    const int64_t id = InsertCollection(collection);
    EndCollection(id, collection, backoff_until);
    transaction.Commit();
    return id;
  });
}

void SqlStore::RecordAnswer(const std::string& terminal, UtcTime asked, UtcTime answered) {
  Run("recording an answer of " + terminal, [&] {
    // Unsynced as RecordCollection: a crash loses at most when it answered.
    SqlTransaction transaction(*session_, SqlTransaction::Sync::kUnsynced);
    const int64_t found = session_->Exec(
        "UPDATE terminals SET last_poll = $2, last_success = $2, complete_to = $3 WHERE name = $1",
        {terminal, UtcTimeText(answered), UtcTimeText(asked)});
    if (found == 0) throw StoreError("the terminal is not in the store");
    transaction.Commit();
  });
}

void SqlStore::InsertCards(const std::string& terminal, std::span<const CardEntry> cards,
                           UtcTime collected) {
  for (const CardEntry& card : cards) {
    session_->Exec(
        "INSERT INTO cards (terminal, position, card, staff, name, raw_name, collected)"
        " VALUES ($1, $2, $3, $4, $5, $6, $7)",
        {terminal, int64_t{card.position}, int64_t{card.card}, card.staff, card.name, card.raw_name,
         UtcTimeText(collected)});
  }
}

void SqlStore::ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                            UtcTime collected) {
  Run("replacing the card list of " + terminal, [&] {
    SqlTransaction transaction(*session_);
    session_->Exec("DELETE FROM cards WHERE terminal = $1", {terminal});
    InsertCards(terminal, cards, collected);
    session_->Exec("UPDATE terminals SET cards_collected = $2 WHERE name = $1",
                   {terminal, UtcTimeText(collected)});
    session_->Exec(
        "INSERT INTO card_names (card, name) SELECT DISTINCT card, name FROM cards"
        " WHERE terminal = $1 ON CONFLICT DO NOTHING",
        {terminal});
    transaction.Commit();
  });
}

std::vector<TerminalState> SqlStore::States() {
  return Run("reading the terminals' states", [&] {
    // The failures since the last success, from the index of successes and
    // then the terminal's collections after it; the latest poll's outcome.
    const std::string success(kSuccess);
    const std::string query =
        "SELECT t.name, t.endpoint, t.address, t.time_zone, t.mark_positions, t.mark_last,"
        " t.last_poll, t.last_success, t.backoff_until, t.last_count, t.last_error, t.punches,"
        " (SELECT f.started FROM collections f WHERE f.terminal = t.name"
        " AND f.ended IS NOT NULL AND f." +
        std::string(kFailure) +
        " AND f.id > COALESCE("
        "(SELECT s.id FROM collections s WHERE s.terminal = t.name AND s.ended IS NOT NULL"
        " AND s." +
        success +
        " ORDER BY s.id DESC LIMIT 1), 0) ORDER BY f.id LIMIT 1),"
        " (SELECT l.outcome FROM collections l WHERE l.terminal = t.name AND l.ended IS NOT NULL"
        " ORDER BY l.id DESC LIMIT 1), t.complete_to"
        " FROM terminals t ORDER BY t.name";
    std::vector<TerminalState> states;
    session_->Query(query, {}, [&](const SqlRow& row) {
      TerminalState& state = states.emplace_back();
      state.info = {row.Text(0), row.Text(1), static_cast<int>(row.Int(2)), row.Text(3)};
      state.mark = ReadMark(row, 4, false);
      state.last_poll = ReadUtc(row, 6);
      state.last_success = ReadUtc(row, 7);
      state.backoff_until = ReadUtc(row, 8);
      state.count = ReadOptionalInt(row, 9);
      state.last_error = row.Text(10);
      state.punches = row.Int(11);
      state.failing_since = ReadUtc(row, 12);
      if (!row.IsNull(13)) state.last_outcome = OutcomeFromName(row.Text(13));
      state.complete_to = ReadUtc(row, 14);
    });
    return states;
  });
}

std::vector<Collection> SqlStore::Collections(const std::string& terminal, int limit) {
  const std::string which = terminal.empty() ? "every terminal" : terminal;
  return Run("reading the collections of " + which, [&] {
    std::string query =
        "SELECT terminal, started, ended, count, from_position, positions_fetched,"
        " punches_added, pages_lost, outcome, error, id FROM collections";
    std::vector<SqlValue> params{int64_t{limit}};
    if (!terminal.empty()) {
      query += " WHERE terminal = $2";
      params.emplace_back(terminal);
    }
    query += " ORDER BY id DESC LIMIT $1";
    std::vector<Collection> collections;
    session_->Query(query, params, [&](const SqlRow& row) {
      Collection& collection = collections.emplace_back();
      collection.id = row.Int(10);
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
    session_->Unhurried();  // a whole month of a large fleet
    StreamPunches(ExportQuery(filter), row);
  });
}

void SqlStore::ForEachHolderPunch(const PunchFilter& filter,
                                  const std::function<void(const PunchRow&)>& row) {
  Run("reading punches by holder", [&] {
    session_->Unhurried();
    StreamPunches(HolderPunchQuery(filter, true), row);
    StreamPunches(HolderPunchQuery(filter, false), row);
  });
}

std::vector<HourCount> SqlStore::PunchesPerHour(const std::string& terminal, LocalTime from,
                                                LocalTime to) {
  return Run("counting punches per hour", [&] {
    PunchFilter filter;
    filter.from = from;
    filter.to = to;
    if (!terminal.empty()) filter.terminal = terminal;
    const PunchQuery query = HourCountQuery(filter);
    std::vector<HourCount> counts;
    session_->Query(query.sql, query.params, [&](const SqlRow& row) {
      const std::string hour = row.Text(0) + ":00:00";
      const std::optional<std::chrono::seconds> start = ParseTimeText(hour);
      if (!start) throw StoreError("\"" + hour + "\" is no local time");
      counts.push_back({LocalTime{*start}, row.Int(1)});
    });
    return counts;
  });
}

void SqlStore::StreamPunches(const PunchQuery& query,
                             const std::function<void(const PunchRow&)>& row) {
  StreamPunchRows(query, [&](const PunchRow& punch, const SqlRow&) { row(punch); });
}

void SqlStore::StreamPunchRows(const PunchQuery& query,
                               const std::function<void(const PunchRow&, const SqlRow&)>& row) {
  PunchRow out;
  session_->Query(query.sql, query.params, [&](const SqlRow& in) {
    ReadPunchRow(in, out);
    row(out, in);
  });
}

PunchPage SqlStore::SearchPunches(const PunchFilter& filter,
                                  const std::optional<PunchCursor>& after, int limit) {
  return Run("searching punches", [&] {
    PunchPage page;
    if (limit < 1) return page;
    // One row more than the page tells whether another page follows.
    page.rows = SearchRows(filter, after, int64_t{limit} + 1);
    if (page.rows.size() > static_cast<size_t>(limit)) {
      page.rows.resize(static_cast<size_t>(limit));
      page.next = PunchCursor{page.rows.back().punch.local, page.rows.back().id};
    }
    return page;
  });
}

std::vector<PunchRow> SqlStore::SearchRows(const PunchFilter& filter,
                                           const std::optional<PunchCursor>& after, int64_t count) {
  if (!NamePattern(filter) || filter.card) return SearchWalk(filter, after, count);
  // A name fits few holders' cards, as a rule: each card's punches come from
  // the card index, and the newest of them all make the page.
  std::vector<uint32_t> cards;
  const PunchQuery holders = HolderCardsQuery(filter, kFewHolderCards + 1);
  session_->Query(holders.sql, holders.params,
                  [&](const SqlRow& row) { cards.push_back(static_cast<uint32_t>(row.Int(0))); });
  if (cards.size() > kFewHolderCards) return SearchWalk(filter, after, count);
  std::vector<PunchRow> rows;
  PunchFilter one = filter;
  for (uint32_t card : cards) {
    one.card = card;
    std::vector<PunchRow> more = SearchWalk(one, after, count);
    rows.insert(rows.end(), std::make_move_iterator(more.begin()),
                std::make_move_iterator(more.end()));
  }
  std::sort(rows.begin(), rows.end(), NewestFirst);
  if (rows.size() > static_cast<size_t>(count)) rows.resize(static_cast<size_t>(count));
  return rows;
}

std::vector<PunchRow> SqlStore::SearchWalk(const PunchFilter& filter,
                                           const std::optional<PunchCursor>& after, int64_t count) {
  std::vector<PunchRow> rows;
  const auto read = [&](const PunchQuery& query) {
    session_->Query(query.sql, query.params,
                    [&](const SqlRow& in) { ReadPunchRow(in, rows.emplace_back()); });
  };
  if (!after || after->local) read(SearchQuery(filter, true, after, count));
  // A date range holds no undated punch.
  const auto left = count - static_cast<int64_t>(rows.size());
  if (left > 0 && !filter.from && !filter.to) read(SearchQuery(filter, false, after, left));
  return rows;
}

CardList SqlStore::Cards(const std::string& terminal) {
  return Run("reading the card list of " + terminal, [&] {
    CardList list;
    session_->Query(
        "SELECT t.cards_collected, c.position, c.card, c.staff, c.name, c.raw_name"
        " FROM terminals t LEFT JOIN cards c ON c.terminal = t.name WHERE t.name = $1"
        " ORDER BY c.position",
        {terminal}, [&](const SqlRow& row) {
          list.collected = ReadUtc(row, 0);
          if (row.IsNull(1)) return;  // no entries
          CardEntry& card = list.cards.emplace_back();
          card.position = static_cast<int32_t>(row.Int(1));
          card.card = static_cast<uint32_t>(row.Int(2));
          card.staff = row.Text(3);
          card.name = row.Text(4);
          card.raw_name = row.Bytes(5);
        });
    return list;
  });
}

std::vector<Cardholder> SqlStore::ReadCardholders(const std::string& where,
                                                  const std::vector<SqlValue>& params) {
  std::vector<Cardholder> holders;
  session_->Query(
      "SELECT card, staff, name, valid_from, valid_until, terminals, revoked, owner"
      " FROM cardholders " +
          where + " ORDER BY card",
      params, [&](const SqlRow& row) {
        Cardholder& holder = holders.emplace_back();
        holder.card = static_cast<uint32_t>(row.Int(0));
        holder.staff = row.Text(1);
        holder.name = row.Text(2);
        holder.valid_from = ReadDay(row, 3);
        holder.valid_until = ReadDay(row, 4);
        holder.where = SplitWhere(row.Text(5));
        holder.revoked = ReadUtc(row, 6);
        holder.owner = row.Text(7);
      });
  return holders;
}

std::vector<Cardholder> SqlStore::Cardholders() {
  return Run("reading the cardholders", [&] { return ReadCardholders("", {}); });
}

std::optional<Cardholder> SqlStore::FindCardholder(uint32_t card) {
  return Run("reading the holder of card " + std::to_string(card),
             [&]() -> std::optional<Cardholder> {
               std::vector<Cardholder> found = ReadCardholders("WHERE card = $1", {int64_t{card}});
               if (found.empty()) return std::nullopt;
               return std::move(found.front());
             });
}

std::vector<CardAudit> SqlStore::ChangeCardholders(const CardholderChanges& changes,
                                                   const std::string& by, UtcTime when) {
  return Run("changing the cardholders", [&] {
    SqlTransaction transaction(*session_);
    LockCardholders();
    const std::vector<Cardholder> before = ReadCardholders("", {});
    const std::vector<Cardholder> after = AfterChanges(before, changes, when);
    std::vector<CardAudit> audits = Differences(before, after);
    auto holder = after.begin();
    for (CardAudit& audit : audits) {
      holder = std::find_if(holder, after.end(),
                            [&](const Cardholder& h) { return h.card == audit.card; });
      session_->Exec(
          "INSERT INTO cardholders (card, staff, name, valid_from, valid_until, terminals,"
          " revoked, owner) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT (card) DO UPDATE"
          " SET staff = excluded.staff, name = excluded.name, valid_from = excluded.valid_from,"
          " valid_until = excluded.valid_until, terminals = excluded.terminals,"
          " revoked = excluded.revoked, owner = excluded.owner",
          {int64_t{holder->card}, holder->staff, holder->name, DayValue(holder->valid_from),
           DayValue(holder->valid_until), WhereText(holder->where), UtcValue(holder->revoked),
           holder->owner});
      audit.when = when;
      audit.by = by;
      session_->Query(
          "INSERT INTO card_audit (at, actor, card, action, what) VALUES ($1, $2, $3, $4, $5)"
          " RETURNING id",
          {UtcTimeText(when), by, int64_t{audit.card}, std::string(CardActionName(audit.action)),
           audit.what},
          [&](const SqlRow& row) { audit.id = row.Int(0); });
    }
    transaction.Commit();
    return audits;
  });
}

std::vector<CardAudit> SqlStore::CardAudits(std::optional<uint32_t> card, int limit) {
  return Run("reading the card audit", [&] {
    std::string query = "SELECT id, at, actor, card, action, what FROM card_audit";
    std::vector<SqlValue> params{int64_t{limit}};
    if (card) {
      query += " WHERE card = $2";
      params.emplace_back(int64_t{*card});
    }
    query += " ORDER BY id DESC LIMIT $1";
    std::vector<CardAudit> audits;
    session_->Query(query, params, [&](const SqlRow& row) {
      CardAudit& audit = audits.emplace_back();
      audit.id = row.Int(0);
      audit.when = ReadUtc(row, 1).value_or(UtcTime{});
      audit.by = row.Text(2);
      audit.card = static_cast<uint32_t>(row.Int(3));
      audit.action = ReadAction(row, 4);
      audit.what = row.Text(5);
    });
    return audits;
  });
}

void SqlStore::Answered() {
  if (!std::exchange(unanswered_, false)) return;
  if (events_.answered) events_.answered();
}

void SqlStore::Unanswered(const StoreTimeout& error) {
  if (std::exchange(unanswered_, true)) return;
  if (events_.unanswered) events_.unanswered(error.what());
}

void SqlStore::Check() {
  Run("checking the store", [&] { session_->Query("SELECT 1", {}, [](const SqlRow&) {}); });
}

}  // namespace tallygate::collector
