// The card lists' side of the store (store.h).
#ifndef TALLYGATE_COLLECTOR_STORE_CARD_BOOK_H_
#define TALLYGATE_COLLECTOR_STORE_CARD_BOOK_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collector/base/cardholder.h"
#include "collector/base/punch.h"
#include "collector/base/source_read.h"
#include "collector/store/store_error.h"

namespace tallygate::collector {

// A terminal's card list as last collected.
struct CardList {
  std::optional<UtcTime> collected;  // absent: never collected
  std::vector<CardEntry> cards;      // by position
};

// The card lists: as collected from each terminal, as the company wants
// them (cardholders, with an audit of every change), and the work of
// carrying the wanted lists out on the terminals.
class CardBook {
 public:
  virtual ~CardBook() = default;

  // Replaces the terminal's card list with `cards`.
  virtual void ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                            UtcTime collected) = 0;

  // The terminal's card list; empty when it was never collected or the
  // terminal is unknown.
  virtual CardList Cards(const std::string& terminal) = 0;

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

  // ---- Cardholders from the HR system (source_read.h) ----

  // Keeps `read` as the last of its source; a made read is also its last
  // success.
  virtual void KeepSourceRead(const SourceRead& read) = 0;

  // Each source's last read, with its last success, by name.
  virtual std::vector<SourceRead> SourceReads() = 0;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_CARD_BOOK_H_
