// What each terminal's card list needs to become what the company wants:
// the cards to enrol, to take off, and to write again. Worked out from the
// wanted cardholders and the list as last collected, without touching a
// terminal or the store.
#ifndef TALLYGATE_COLLECTOR_CARDS_CARD_PLAN_H_
#define TALLYGATE_COLLECTOR_CARDS_CARD_PLAN_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/base/cardholder.h"
#include "collector/store/card_book.h"

namespace tallygate::collector {

// A card-list entry as a terminal should hold it.
struct WantedEntry {
  uint32_t card = 0;
  std::string staff;  // 8 digits, as the terminal keeps it
  std::string name;
  bool operator==(const WantedEntry&) const = default;
};

// What one terminal holds and what it should.
struct TerminalCards {
  CardTerminal terminal;
  LocalDay today;  // on the terminal's calendar
  CardList list;   // as last collected
};

struct TerminalPlan {
  std::string terminal;
  // False while the terminal's list was never collected: every card it
  // should hold is to be enrolled, and what else it holds is not known.
  bool list_known = true;
  std::vector<WantedEntry> add;
  // On the list with another staff number or name. Names are compared as
  // the terminal holds them (held_name.h); `add` and `rewrite` carry the
  // name as the terminal takes it.
  std::vector<WantedEntry> rewrite;
  // On the list, held by someone for other terminals only, or revoked,
  // expired, not valid yet.
  std::vector<CardEntry> remove;
  std::vector<uint32_t> in_place;  // on the list as wanted
  // On the list, and no cardholder ever had the card (enrolled by hand at
  // the terminal): left in place, or also in `remove` when the terminal
  // takes such cards off.
  std::vector<CardEntry> unknown;

  bool Changes() const { return !add.empty() || !rewrite.empty() || !remove.empty(); }
};

// Whether `holder` belongs on `terminal` on its day `today`: not revoked,
// its terminals take this one in, and today is within its validity.
bool Belongs(const Cardholder& holder, const CardTerminal& terminal, LocalDay today);

// The plan of one terminal; `holders` is every cardholder, revoked ones
// too. Each list is by card.
TerminalPlan PlanTerminal(std::span<const Cardholder> holders, const TerminalCards& terminal);

// The changes `plan` asks of its terminal as the store keeps them pending,
// each since `now` but a revocation, pending since the card was revoked;
// `holders` (by card) tell why a card is to be removed.
std::vector<PendingCard> PendingOf(const TerminalPlan& plan, std::span<const Cardholder> holders,
                                   LocalDay today, UtcTime now);

// A staff number as the terminal keeps it: 8 digits, zeros in front.
std::string StaffDigits(const std::string& staff);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_CARD_PLAN_H_
