// The poller's side of the store (store.h): what it writes as it collects.
#ifndef TALLYGATE_COLLECTOR_STORE_POLL_LEDGER_H_
#define TALLYGATE_COLLECTOR_STORE_POLL_LEDGER_H_

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collector/base/punch.h"
#include "collector/store/store_error.h"

namespace tallygate::collector {

// What the collectors sharing a store hold (PollLedger::Claims).
struct CollectorClaims {
  std::string me;                       // this process's id
  std::vector<std::string> collectors;  // the live ones of its fleet, by id, itself among them
  // By terminal: the id of the collector of the fleet that holds it, or ""
  // for a process outside the fleet (another fleet's collector, a `once`
  // run, an older collector); absent while nobody holds it.
  std::map<std::string, std::string> holders;
};

// How often a terminal that answers polls with nothing new has its answer
// written (PollLedger::RecordAnswer): an idle fleet writes little, and a reader
// of the store sees a terminal's last poll and success this late at most
// (and a poll interval).
inline constexpr std::chrono::seconds kQuietWrite{60};

// The poller's ledger: the terminals it polls and who polls them, each
// terminal's mark, the pages of punches it stores, and the record of each
// poll.
class PollLedger {
 public:
  virtual ~PollLedger() = default;

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

  // The terminal answered at `answered` a poll begun at `asked`, just like
  // the last one recorded (complete, the same count, nothing new): its last
  // poll and last success move to `answered`, what is complete to `asked`,
  // and no collections row is added.
  virtual void RecordAnswer(const std::string& terminal, UtcTime asked, UtcTime answered) = 0;

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
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_POLL_LEDGER_H_
