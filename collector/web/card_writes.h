// Changes of the wanted card lists from the dashboard and the API, made
// as every writer makes them (MakeCardholderChanges): checked whole
// against the configured terminals, then made and audited, or refused with
// every reason and nothing changed.
#ifndef TALLYGATE_COLLECTOR_WEB_CARD_WRITES_H_
#define TALLYGATE_COLLECTOR_WEB_CARD_WRITES_H_

#include <string>

#include "collector/cards/card_changes.h"
#include "collector/web/dashboard.h"

namespace tallygate::collector::web {

// Makes `changes`, by `by` ("web:NAME") now.
ChangeResult ChangeCards(Dashboard& dashboard, const CardholderChanges& changes,
                         const std::string& by);

// What ChangeCards would do, without doing it: the audit rows it would
// write (id and time left empty), or why it would be refused.
ChangeResult PreviewCards(Dashboard& dashboard, const CardholderChanges& changes);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_CARD_WRITES_H_
