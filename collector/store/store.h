// Where the collector keeps punches, and the card lists the company wants:
// one interface, two stores (SQLite and PostgreSQL) with one schema
// ("Schema" in docs/collector.md).
//
// Every method is one transaction: it commits whole or changes nothing, and
// throws StoreError when the store cannot do it (the server is down, the disk
// is full, the file is locked), StoreTimeout when it does not answer in time. A Store is used by one thread at a time; the
// service serializes its threads' calls.
#ifndef TALLYGATE_COLLECTOR_STORE_STORE_H_
#define TALLYGATE_COLLECTOR_STORE_STORE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "collector/store/cardholder.h"
#include "collector/store/punch.h"
#include "collector/store/sink.h"

namespace tallygate::collector {

// A store failure. The message says what failed and why, and never holds a
// password (connection strings are shown without theirs).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A store that did not answer in time: a server that does not reply (stopped,
// or cut off by the network) or a statement that ran past the store's limit
// (docs/collector.md, "A store that does not answer").
class StoreTimeout : public StoreError {
 public:
  using StoreError::StoreError;
};

// Which punches an export or a search wants. Dates are the terminal's local
// dates, inclusive; a punch with no valid date is in no date range.
struct PunchFilter {
  std::optional<LocalTime> from;  // local time >= from
  std::optional<LocalTime> to;    // local time < to
  std::optional<std::string> terminal;
  std::optional<uint32_t> card;
  // The holder's name on the punch's terminal's card list contains this
  // text (letters A-Z without regard to case; % and _ are plain text). An
  // empty text is no condition.
  std::optional<std::string> name;
  std::vector<std::string> terminals;  // one of these; empty: any
};

// Where a page of a search ended: the next page starts after this punch.
// Searches run newest first (local time, then id, descending); punches with
// no valid date come after every dated one.
struct PunchCursor {
  std::optional<LocalTime> local;  // absent: the punch had no valid date
  int64_t id = 0;
  bool operator==(const PunchCursor&) const = default;
};

// "2026-12-01T08:59:12.4711" or "-.4711" (no date); what a page's link
// carries.
std::string PunchCursorText(const PunchCursor& cursor);
// The cursor `text` names; absent when it is not one.
std::optional<PunchCursor> PunchCursorFromText(std::string_view text);

// A punch with what the card lists know of its card.
struct PunchRow {
  int64_t id = 0;  // the store's, in the order punches were stored
  std::string terminal;
  Punch punch;
  std::string staff;  // empty when the card is on no card list
  std::string name;
};

// One page of a search: at most `limit` rows, newest first.
struct PunchPage {
  std::vector<PunchRow> rows;
  std::optional<PunchCursor> next;  // absent on the last page
};

// A terminal's card list as last collected.
struct CardList {
  std::optional<UtcTime> collected;  // absent: never collected
  std::vector<CardEntry> cards;      // by position
};

// What the collectors sharing a store hold (Store::Claims).
struct CollectorClaims {
  std::string me;                       // this process's id
  std::vector<std::string> collectors;  // the live ones of its fleet, by id, itself among them
  // By terminal: the id of the collector of the fleet that holds it, or ""
  // for a process outside the fleet (another fleet's collector, a `once`
  // run, an older collector); absent while nobody holds it.
  std::map<std::string, std::string> holders;
};

// How often a terminal that answers polls with nothing new has its answer
// written (Store::RecordAnswer): an idle fleet writes little, and a reader
// of the store sees a terminal's last poll and success this late at most
// (and a poll interval).
inline constexpr std::chrono::seconds kQuietWrite{60};

class Store {
 public:
  virtual ~Store() = default;

  // "sqlite:/var/lib/tallygate/punches.db" or
  // "postgresql://user@host/db" (the connection string without a password).
  virtual std::string Describe() const = 0;

  // Adds the terminal or updates its endpoint, address and zone; its mark,
  // punches and state stay.
  virtual void SaveTerminal(const TerminalInfo& terminal) = 0;

  // Makes this process the one that polls `terminal` for as long as the
  // store is open (several collectors may share a PostgreSQL database).
  // False when another process holds it. On PostgreSQL a claim lasts as
  // long as the connection, or until ReleaseTerminal; after the connection
  // is made again the claims are taken again, and StorePage and ResetMark
  // throw StoreError for a terminal this store has not claimed or lost
  // meanwhile. Calling it before each poll is cheap and tells.
  virtual bool ClaimTerminal(const std::string& terminal) = 0;

  // Gives up this process's claim on `terminal`, if it holds one, so that
  // another collector may take it; nothing on SQLite.
  virtual void ReleaseTerminal(const std::string& terminal) = 0;

  // Makes this process one of the live collectors sharing the store, as
  // `name`, for as long as its connection lasts (taken again when it is
  // made again); `fleet` names the units it polls, and collectors with the
  // same fleet share them. Called again, it changes the fleet. False when
  // the store has one collector only (SQLite): there is nothing to share.
  virtual bool JoinCollectors(const std::string& name, const std::string& fleet) = 0;

  // After JoinCollectors: who holds each of `terminals` now.
  virtual CollectorClaims Claims(std::span<const std::string> terminals) = 0;

  // The terminal's mark; a terminal never stored has positions 0.
  virtual Mark LoadMark(const std::string& terminal) = 0;

  // Starts a row in the collections table; returns its id.
  virtual int64_t BeginCollection(const Collection& collection) = 0;

  // One transaction: adds the punches the terminal does not have yet (the
  // same bytes from the same terminal are one punch), each tagged with
  // `collection`, and sets the terminal's mark to `mark`. Returns how many
  // punches were added. Pages are committed one after the other, in the
  // order of their ids, by every collector on the store: a punch committed
  // later never has a lower id than one a reader has seen.
  virtual int32_t StorePage(const std::string& terminal, int64_t collection,
                            std::span<const Punch> punches, const Mark& mark) = 0;

  // The terminal's records were cleared: its mark goes back to 0.
  virtual void ResetMark(const std::string& terminal) = 0;

  // Ends the collection row and updates the terminal's state (last poll,
  // last success when the outcome was complete or cleared, count, last
  // error, backoff).
  virtual void FinishCollection(int64_t id, const Collection& collection,
                                std::optional<UtcTime> backoff_until) = 0;

  // BeginCollection and FinishCollection in one transaction, for a poll that
  // stored nothing: one commit where there would be two. Returns the id.
  virtual int64_t RecordCollection(const Collection& collection,
                                   std::optional<UtcTime> backoff_until) = 0;

  // The terminal answered at `answered` a poll just like the last one
  // recorded (complete, the same count, nothing new): its last poll and last
  // success move to `answered`, and no collections row is added.
  virtual void RecordAnswer(const std::string& terminal, UtcTime answered) = 0;

  // Replaces the terminal's card list with `cards`.
  virtual void ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                            UtcTime collected) = 0;

  // Every terminal the store knows, by name.
  virtual std::vector<TerminalState> States() = 0;

  // The terminal's recent collections, newest first; every terminal's when
  // `terminal` is empty.
  virtual std::vector<Collection> Collections(const std::string& terminal, int limit) = 0;

  // The page of punches `filter` selects that follows `after` (the first
  // page without it): at most `limit` rows (none when it is below 1), newest
  // first. Answers from the indexes with any one condition of the filter,
  // however many punches the store holds.
  virtual PunchPage SearchPunches(const PunchFilter& filter,
                                  const std::optional<PunchCursor>& after, int limit) = 0;

  // The terminal's card list; empty when it was never collected or the
  // terminal is unknown.
  virtual CardList Cards(const std::string& terminal) = 0;

  // Calls `row` for every punch `filter` selects, by terminal then local
  // time then position, without holding them all in memory.
  virtual void ForEachPunch(const PunchFilter& filter,
                            const std::function<void(const PunchRow&)>& row) = 0;

  // Calls `row` for every punch `filter` selects by card, then local time,
  // its staff and name those of the card's holder: the wanted lists'
  // cardholder (revoked or not) where the card has one, else its entry on
  // the punch's terminal's list, else (the name only) a name a list gave it
  // before. Then, by card, every punch without a valid date the filter
  // would select but for its dates. Without holding them all in memory.
  virtual void ForEachHolderPunch(const PunchFilter& filter,
                                  const std::function<void(const PunchRow&)>& row) = 0;

  // Per hour of the terminals' clocks from `from` (included) to `to`, by
  // hour: how many punches `terminal` (every terminal when empty) has.
  // Hours without punches are left out. One grouped walk of a time index.
  virtual std::vector<HourCount> PunchesPerHour(const std::string& terminal, LocalTime from,
                                                LocalTime to) = 0;

  // ---- A terminal known by its memory ----

  // The marks of every terminal but `terminal` that has one, and whether
  // `terminal` is to take the memory it answers with as its own.
  virtual KnownMemories Memories(const std::string& terminal) = 0;

  // `terminal` takes `mark` (the mark of the terminal whose memory it
  // answers with) as its own: punches stored before stay where they are,
  // later ones come under `terminal`. Ends an AcceptMemory.
  virtual void AdoptMemory(const std::string& terminal, const Mark& mark) = 0;

  // Tells the collector polling `terminal` to take the memory it answers
  // with as its own at its next poll (a terminal replaced by one that
  // holds another's memory). StoreError when the store does not know it.
  virtual void AcceptMemory(const std::string& terminal) = 0;

  // The terminal stored as `from` is now `to` (it moved, or was renamed):
  // its mark, punches, polls, card list and card work become `to`'s, and
  // `from` is gone. StoreError, changing nothing, when `from` is unknown,
  // or `to` has punches or a mark of its own.
  virtual void MoveTerminal(const std::string& from, const std::string& to) = 0;

  // ---- The card lists the company wants (cardholder.h) ----

  // Every cardholder, revoked ones too, by card.
  virtual std::vector<Cardholder> Cardholders() = 0;

  // The holder of `card`, revoked or not; absent for a card never held.
  virtual std::optional<Cardholder> FindCardholder(uint32_t card) = 0;

  // One transaction: makes `changes` (a revocation dated `when`) and keeps
  // each card's change in the audit, done by `by` at `when`. Returns those
  // audit rows, by card; none when the lists were already so. Writers on
  // several connections change the lists one after the other.
  virtual std::vector<CardAudit> ChangeCardholders(const CardholderChanges& changes,
                                                   const std::string& by, UtcTime when) = 0;

  // The audit of `card` (of every card when absent), newest first: at most
  // `limit` rows.
  virtual std::vector<CardAudit> CardAudits(std::optional<uint32_t> card, int limit) = 0;

  // Grows with every change of the wanted lists (the newest audit row's id;
  // 0 before the first), whoever made it: a service compares it to know
  // when to work the lists out again.
  virtual int64_t CardholdersVersion() = 0;

  // ---- Carrying them out (cardholder.h) ----

  // Makes `pending` the changes `terminal` still needs. A change pending
  // before (the same card, the same change) keeps its since, tried and
  // error; others are kept with their own since. Changes of the terminal
  // not in `pending` are dropped.
  virtual void SetPendingCards(const std::string& terminal,
                               std::span<const PendingCard> pending) = 0;

  // The pending changes of `terminal` (every terminal's when empty), of
  // `card` only when given; by terminal, then card.
  virtual std::vector<PendingCard> PendingCards(const std::string& terminal,
                                                std::optional<uint32_t> card) = 0;

  // Per terminal and change, by terminal then change: how many are pending.
  virtual std::vector<PendingCount> PendingCardCounts() = 0;

  // One transaction: keeps each outcome as the last of its terminal and
  // card, and in the card's history; a done one (no error) ends its pending change, a failed one
  // leaves it pending with its time and error.
  virtual void FinishCardChanges(std::span<const CardOutcome> outcomes) = 0;

  // The last outcome per terminal and card, of `terminal` (every
  // terminal's when empty), of `card` only when given; by terminal, then
  // card.
  virtual std::vector<CardOutcome> CardOutcomes(const std::string& terminal,
                                                std::optional<uint32_t> card) = 0;

  // Every outcome of `card` on every terminal, newest first, up to `limit`;
  // a failure just like the outcome before it on that terminal is kept
  // once.
  virtual std::vector<CardOutcome> CardHistory(uint32_t card, int limit) = 0;

  // What the store knows of where each of `cards` (distinct, at most 1000:
  // each is a parameter of one query) has been; one trace for each, in
  // their order.
  virtual std::vector<CardTrace> CardTraces(std::span<const uint32_t> cards) = 0;

  // ---- Delivering them onward (sink.h) ----

  // Up to `limit` punches after the id `after`, by id, with staff and name
  // as ForEachHolderPunch gives them.
  virtual std::vector<PunchRow> PunchesAfter(int64_t after, int limit) = 0;

  // The id of the newest punch; 0 before the first.
  virtual int64_t LastPunchId() = 0;

  // How many punches follow the id `after`, and the oldest of them.
  virtual SinkBacklog Backlog(int64_t after) = 0;

  // Makes this process the one that delivers to `sink` for as long as the
  // store is open; false when another collector on the database does.
  virtual bool ClaimSink(const std::string& sink) = 0;

  // The sink's state; absent for a sink never saved.
  virtual std::optional<SinkState> LoadSink(const std::string& sink) = 0;

  // Keeps `state` as its sink's; only while this process holds the sink's
  // claim (checked as it saves): without it nothing is saved, and it
  // throws StoreError saying the claim was lost.
  virtual void SaveSink(const SinkState& state) = 0;

  // Every sink saved, by name.
  virtual std::vector<SinkState> Sinks() = 0;

  // A stopped sink goes on with the batch it was refused. False when the
  // sink is unknown or was not stopped.
  virtual bool ResumeSink(const std::string& sink) = 0;

  // Throws StoreError unless the store answers a trivial query.
  virtual void Check() = 0;
};

// Opens the store `database` names and brings its schema up to date:
//   ""                          $XDG_STATE_HOME/tallygate/punches.db
//                               (~/.local/state/... without it)
//   "sqlite:PATH" or a PATH     SQLite (the folder is created)
//   "postgresql://...", "postgres://...", or "key=value ..."  PostgreSQL
// Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string& database);

// True when `database` names a PostgreSQL server (a URI or libpq's
// key=value form) rather than a SQLite file.
bool IsPostgres(const std::string& database);

// `database` as it may be shown: a password in it replaced by "***".
std::string WithoutPassword(const std::string& database);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_STORE_H_
