#include "collector/store/postgres_store.h"

#include <cstdio>
#include <random>
#include <set>

#include "collector/store/postgres_claims.h"
#include "collector/store/postgres_session.h"
#include "collector/store/sql_store.h"
#include "collector/base/time_text.h"

namespace tallygate::collector {
namespace {

// An array parameter in PostgreSQL's text form, so that a whole page goes
// to the server as a few values of one statement.
class ArrayText {
 public:
  void Number(int64_t value) { Next() += std::to_string(value); }
  void Null() { Next() += "NULL"; }
  void Bytes(std::span<const uint8_t> bytes) { Quoted(ByteaText(bytes)); }
  void Quoted(std::string_view text) {
    std::string& out = Next();
    out += '"';
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  std::string Done() && { return std::move(text_) + "}"; }

 private:
  std::string& Next() {
    text_ += text_.size() == 1 ? "" : ",";
    return text_;
  }
  std::string text_ = "{";
};

class PostgresStore final : public SqlStore {
 public:
  PostgresStore(std::unique_ptr<SqlSession> session, std::string described)
      : SqlStore(std::move(session), std::move(described)) {
    Migrate(PostgresSchema());
  }

  bool ClaimSink(const std::string& sink) override {
    return Run("claiming sink " + sink, [&] {
      if (sinks_.contains(sink)) return true;
      if (!TryLock(LockKey("sink:" + sink))) return false;
      sinks_.insert(sink);
      return true;
    });
  }

  bool ClaimTerminal(const std::string& terminal) override {
    return Run("claiming " + terminal, [&] {
      Reclaim();
      if (claimed_.contains(terminal)) return true;
      if (!TryLock(TerminalKey(terminal))) return false;
      claimed_.insert(terminal);
      lost_.erase(terminal);
      return true;
    });
  }

  void ReleaseTerminal(const std::string& terminal) override {
    Run("giving up " + terminal, [&] {
      Reclaim();
      if (!claimed_.contains(terminal)) return;
      session().Exec("SELECT pg_advisory_unlock($1)", {TerminalKey(terminal)});
      claimed_.erase(terminal);
    });
  }

  bool JoinCollectors(const std::string& name, const std::string& fleet) override {
    return Run("joining the collectors sharing the database", [&] {
      if (id_.empty()) id_ = NewId();
      name_ = name;
      fleet_ = FleetDigest(fleet);
      registered_ = false;  // the row is written again, with this fleet
      Register();
      return true;
    });
  }

  CollectorClaims Claims(std::span<const std::string> terminals) override {
    return Run("reading the collectors' claims", [&] {
      if (!registered_) Register();
      const ClaimsPicture picture(session());
      std::set<std::string> sharing = {id_};
      for (const auto& [pid, collector] : picture.live()) {
        if (collector.fleet == fleet_) sharing.insert(collector.id);
      }
      CollectorClaims claims{id_, {sharing.begin(), sharing.end()}, {}};
      for (const std::string& terminal : terminals) {
        const std::optional<const LiveCollector*> holder = picture.HolderOf(terminal);
        if (!holder) continue;
        const bool fellow = *holder != nullptr && (*holder)->fleet == fleet_;
        claims.holders[terminal] = fellow ? (*holder)->id : "";
      }
      return claims;
    });
  }

  std::vector<TerminalState> States() override {
    std::vector<TerminalState> states = SqlStore::States();
    Run("reading who polls each terminal", [&] {
      const ClaimsPicture picture(session());
      for (TerminalState& state : states) {
        const std::optional<const LiveCollector*> holder = picture.HolderOf(state.info.name);
        if (holder) state.polled_by = *holder ? (*holder)->name : "";
      }
    });
    return states;
  }

 protected:
  void RequireClaim(const std::string& terminal) override {
    Reclaim();
    if (claimed_.contains(terminal)) return;
    if (lost_.contains(terminal)) {
      throw StoreError("another collector claimed the terminal while this one's connection"
                       " to the server was lost");
    }
    throw StoreError("the terminal is not claimed by this collector");
  }

  // The server let go of the old session's locks.
  void Reconnected() override {
    sinks_.clear();  // claimed again when next asked
    unverified_.merge(claimed_);
    registered_ = false;
    if (!id_.empty()) Register();
    Reclaim();
  }

  // The claim's advisory lock as pg_locks shows it: its key split into two
  // 32-bit halves, held by this very session.
  std::string SinkClaimHeld(const std::string& sink, std::vector<SqlValue>& params) override {
    const auto key = static_cast<uint64_t>(LockKey("sink:" + sink));
    params.emplace_back(std::in_place_type<int64_t>, static_cast<int64_t>(key >> 32));
    params.emplace_back(std::in_place_type<int64_t>, static_cast<int64_t>(key & 0xffffffffu));
    const std::string high = "$" + std::to_string(params.size() - 1);
    const std::string low = "$" + std::to_string(params.size());
    return "EXISTS (SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND granted"
           " AND pid = pg_backend_pid() AND classid::bigint = " + high +
           " AND objid::bigint = " + low + " AND objsubid = 1)";
  }

  void LockSchema() override {
    // Collectors starting together migrate one after the other.
    session().Exec("SELECT pg_advisory_xact_lock($1)", {LockKey("schema")});
  }

  void LockCardholders() override {
    session().Exec("SELECT pg_advisory_xact_lock($1)", {LockKey("cardholders")});
  }

  // Ids are drawn from a sequence when a row is inserted, not when it is
  // committed: two transactions storing at once could commit the higher ids
  // first, and a reader going on from the highest id it saw would skip the
  // lower ones for good. Storing one transaction at a time, each drawing
  // its ids while it holds the lock and holding it until it has committed,
  // makes the commit order the id order. A page takes milliseconds, so
  // collectors sharing the database wait little for one another.
  void LockPunches() override {
    session().Exec("SELECT pg_advisory_xact_lock($1)", {LockKey("punches")});
  }

  // Delivered when the transaction commits, to every collector listening
  // (the live feed).
  void AnnouncePunches() override {
    session().Exec("SELECT pg_notify($1, '')", {std::string(kPunchesChannel)});
  }

  int32_t InsertPunches(const std::string& terminal, int64_t collection,
                        std::span<const Punch> punches) override {
    ArrayText positions, bytes, cards, locals, utcs, flags, keeps, raws;
    for (const Punch& punch : punches) {
      positions.Number(punch.position);
      bytes.Bytes(punch.bytes);
      cards.Number(punch.card);
      punch.local ? locals.Quoted(LocalTimeText(*punch.local)) : locals.Null();
      punch.utc ? utcs.Quoted(UtcTimeText(*punch.utc)) : utcs.Null();
      flags.Number(punch.flag);
      keeps.Number(punch.keep);
      raws.Bytes(punch.raw);
    }
    return static_cast<int32_t>(session().Exec(
        "INSERT INTO punches (terminal, collection, position, bytes, card, local_time, utc_time,"
        " flag, keep, raw) SELECT $1, $2, u.* FROM unnest($3::integer[], $4::bytea[],"
        " $5::bigint[], $6::timestamp[], $7::timestamptz[], $8::smallint[], $9::smallint[],"
        " $10::bytea[]) AS u ON CONFLICT (terminal, bytes) DO NOTHING",
        {terminal, collection, std::move(positions).Done(), std::move(bytes).Done(),
         std::move(cards).Done(), std::move(locals).Done(), std::move(utcs).Done(),
         std::move(flags).Done(), std::move(keeps).Done(), std::move(raws).Done()}));
  }

  void InsertCards(const std::string& terminal, std::span<const CardEntry> cards,
                   UtcTime collected) override {
    ArrayText positions, numbers, staff, names, raw_names;
    for (const CardEntry& card : cards) {
      positions.Number(card.position);
      numbers.Number(card.card);
      staff.Quoted(card.staff);
      names.Quoted(card.name);
      raw_names.Bytes(card.raw_name);
    }
    session().Exec(
        "INSERT INTO cards (terminal, collected, position, card, staff, name, raw_name)"
        " SELECT $1, $2, u.* FROM unnest($3::integer[], $4::bigint[], $5::text[], $6::text[],"
        " $7::bytea[]) AS u",
        {terminal, UtcTimeText(collected), std::move(positions).Done(), std::move(numbers).Done(),
         std::move(staff).Done(), std::move(names).Done(), std::move(raw_names).Done()});
  }

 private:
  bool TryLock(int64_t key) {
    bool locked = false;
    session().Query("SELECT pg_try_advisory_lock($1)", {key},
                    [&](const SqlRow& row) { locked = row.Text(0) == "t"; });
    return locked;
  }

  static std::string NewId() {
    std::random_device random;
    char id[17];
    std::snprintf(id, sizeof id, "%08x%08x", random(), random());
    return id;
  }

  // Kept short: collectors compare it every round.
  static std::string FleetDigest(const std::string& fleet) {
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx",
                  static_cast<unsigned long long>(LockKey("fleet:" + fleet)));
    return digest;
  }

  // Shows this collector alive: its lock (held first, so that no other
  // collector takes its row for one gone), its row, and the rows of
  // collectors gone taken away.
  void Register() {
    if (!TryLock(CollectorKey(id_))) {
      throw StoreError("another session holds this collector's lock");
    }
    const ClaimsPicture picture(session());
    if (!picture.gone().empty()) {
      ArrayText ids;
      for (const std::string& id : picture.gone()) ids.Quoted(id);
      session().Exec("DELETE FROM collectors WHERE id = ANY($1::text[])",
                     {std::move(ids).Done()});
    }
    session().Exec("INSERT INTO collectors (id, name, fleet) VALUES ($1, $2, $3)"
                   " ON CONFLICT (id) DO UPDATE SET name = excluded.name, fleet = excluded.fleet",
                   {id_, name_, fleet_});
    registered_ = true;
  }

  // Takes again each claim not yet taken in this session; one that another
  // collector holds now is lost. A failure half-way leaves the rest for the
  // next call.
  void Reclaim() {
    while (!unverified_.empty()) {
      const std::string terminal = *unverified_.begin();
      (TryLock(TerminalKey(terminal)) ? claimed_ : lost_).insert(terminal);
      unverified_.erase(terminal);
    }
  }

  std::set<std::string> sinks_;       // claimed in this session
  std::set<std::string> claimed_;     // held in this session
  std::set<std::string> unverified_;  // held in a session that was lost
  std::set<std::string> lost_;        // taken by another collector meanwhile
  // This process among the collectors sharing the database, once joined.
  std::string id_;
  std::string name_;
  std::string fleet_;                 // its digest
  bool registered_ = false;           // its lock and row in this session
};

// LISTEN on a session of its own, which does nothing else.
class PostgresPunchNews final : public PunchNews {
 public:
  explicit PostgresPunchNews(const std::string& database) : session_(database) {
    session_.ExecScript("LISTEN " + std::string(kPunchesChannel));
  }
  int Wait(std::chrono::milliseconds wait) override { return session_.Notifications(wait); }

 private:
  PostgresSession session_;
};

}  // namespace

std::unique_ptr<PunchNews> ListenForPostgresPunches(const std::string& database) {
  return std::make_unique<PostgresPunchNews>(database);
}

std::unique_ptr<Store> OpenPostgresStore(const std::string& database) {
  const std::string described = WithoutPassword(database);
  std::unique_ptr<SqlSession> session;
  try {
    session = std::make_unique<PostgresSession>(database);
  } catch (const StoreError&) {
    RethrowStoreError(described + ": ");
  }
  return std::make_unique<PostgresStore>(std::move(session), described);
}

}  // namespace tallygate::collector
