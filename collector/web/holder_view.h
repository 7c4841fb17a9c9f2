// A cardholder as the dashboard and the API show it, with where its card
// stands on each terminal (collector/cards/card_places.h).
#ifndef TALLYGATE_COLLECTOR_WEB_HOLDER_VIEW_H_
#define TALLYGATE_COLLECTOR_WEB_HOLDER_VIEW_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/cards/card_places.h"
#include "collector/web/dashboard.h"

namespace tallygate::collector::web {

struct HolderView {
  Cardholder holder;
  std::vector<TerminalCard> terminals;
};

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
