// A cardholder as the dashboard and the API show it: per terminal, where
// its card stands. A change still pending there is "pending" (or "failed"
// when its last attempt failed): a removal pending means the card may
// still open that terminal, so a revoked card is shown on every terminal
// with one, and nowhere "in place".
#ifndef TALLYGATE_COLLECTOR_WEB_HOLDER_VIEW_H_
#define TALLYGATE_COLLECTOR_WEB_HOLDER_VIEW_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/store/cardholder.h"
#include "collector/web/dashboard.h"

namespace tallygate::collector::web {

enum class CardPlace {
  kInPlace,      // nothing pending: the terminal holds it as wanted
  kPending,      // a change still to be made
  kFailed,       // its last attempt failed; tried again
  kOutOfDates,   // named, but not valid on the terminal's today
};
const char* CardPlaceName(CardPlace place);  // "in place", "pending", "failed", "outside dates"

struct TerminalCard {
  std::string terminal;
  CardPlace place = CardPlace::kInPlace;
  std::optional<PendingCard> pending;  // kPending, kFailed
};

struct HolderView {
  Cardholder holder;
  std::vector<TerminalCard> terminals;  // the configuration's order, then the others'
};

// The configured terminals for the card lists, each with its today.
struct CardFleet {
  std::vector<CardTerminal> terminals;
  std::vector<LocalDay> today;  // of each, on its own calendar
};
CardFleet CurrentCardFleet(const CollectorConfig& config);

// `holder` on each terminal of `fleet`; `pending` holds its card's pending
// changes (others are passed over).
HolderView ViewHolder(const Cardholder& holder, const CardFleet& fleet,
                      std::span<const PendingCard> pending);

// The holders of the store `text` finds (a card, decimal or 0x hex; a
// staff number or a part of one; a part of the name, letters A-Z without
// regard to case; all when empty) after card `after`: at most `limit`, by
// card, with `more` set when others follow.
struct HolderPage {
  std::vector<HolderView> holders;
  bool more = false;
};
HolderPage FindHolders(Dashboard& dashboard, std::string_view text, std::optional<uint32_t> after, size_t limit);

// One holder's view; absent for a card never held.
std::optional<HolderView> FindHolder(Dashboard& dashboard, uint32_t card);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_HOLDER_VIEW_H_
