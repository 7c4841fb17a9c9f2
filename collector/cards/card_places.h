// Where a holder's card stands on each terminal, worked out at once from
// what the store knows (no waiting for a worker to plan): the terminals'
// lists as last collected (and as the collector changed them since), when
// the holder last changed, where the collector ever tried the card, and the
// pending changes. The dashboard, the JSON API and `cards show` all say it
// from here.
//
// A card that should not be on a terminal counts as gone from it only once
// a list of it collected since the holder's last change (to the second)
// lacks it: until then a terminal its holder names, or one the collector
// ever tried the card on, may still hold it and is listed.
#ifndef TALLYGATE_COLLECTOR_CARDS_CARD_PLACES_H_
#define TALLYGATE_COLLECTOR_CARDS_CARD_PLACES_H_

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/store/card_book.h"

namespace tallygate::collector {

enum class CardPlace {
  kInPlace,     // the list holds it as wanted
  kPending,     // a change to be made; a removal: the card may still open the terminal
  kFailed,      // pending, and its last attempt failed; tried again
  kOutOfDates,  // named, not valid on the terminal's today, and not on its list
  kUnknown,     // its list was never collected, or, for a card that should not
                // be there, not since the holder's last change
};
// "in place", "pending", "failed", "outside dates", "unknown".
const char* CardPlaceName(CardPlace place);

struct TerminalCard {
  std::string terminal;
  CardPlace place = CardPlace::kUnknown;
  std::optional<PendingCard> pending;     // kPending, kFailed
  std::optional<UtcTime> list_collected;  // the terminal's list; absent: never
};

// The configured terminals for the card lists, each with its today.
struct CardFleet {
  std::vector<CardTerminal> terminals;
  std::vector<LocalDay> today;  // of each, on its own calendar
  UtcTime now{};                // the day of a terminal no longer configured
};

// `holder`'s card on each terminal that has it or may: the configuration's
// order, then the others' by name. `pending` may hold other cards' changes.
std::vector<TerminalCard> PlacesOf(const Cardholder& holder, const CardTrace& trace,
                                   const CardFleet& fleet, std::span<const PendingCard> pending);

// PlacesOf for each of `holders` (at most 1000), read from `store`.
std::vector<std::vector<TerminalCard>> ReadPlaces(CardBook& store, const CardFleet& fleet,
                                                  std::span<const Cardholder> holders);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_CARD_PLACES_H_
