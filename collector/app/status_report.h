// `tallygate-collector status`: per terminal its last poll, last success,
// count on the terminal, punches stored, backoff and last error, the
// collector polling it when several share the store, and the card changes
// it still needs; as a table or as JSON.
#ifndef TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_
#define TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_

#include <string>
#include <vector>

#include "collector/base/cardholder.h"
#include "collector/base/punch.h"

namespace tallygate::collector {

std::string StatusTable(const std::vector<TerminalState>& states,
                        const std::vector<PendingCard>& pending);
std::string StatusJson(const std::vector<TerminalState>& states,
                       const std::vector<PendingCard>& pending);

// One pending change in words; a removal says plainly that the card may
// still open the terminal.
std::string PendingText(const PendingCard& change);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_
