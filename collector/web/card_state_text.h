// Where a card stands on a terminal, and a pending change, as the pages
// say them.
#ifndef TALLYGATE_COLLECTOR_WEB_CARD_STATE_TEXT_H_
#define TALLYGATE_COLLECTOR_WEB_CARD_STATE_TEXT_H_

#include <string>

#include "collector/web/holder_view.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// "add", "rewrite", or for a removal that the card may still open the
// terminal; HTML.
std::string ChangeHtml(CardChange change, Language language);

// "in place", "add pending since <time>", "remove failed since <time>:
// why", "not valid today", "unknown: its card list was never read"; HTML.
std::string PlaceHtml(const TerminalCard& place, Language language);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_CARD_STATE_TEXT_H_
