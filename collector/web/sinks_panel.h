// The delivery sinks on the Terminals page: backlog, the oldest punch
// waiting, and whether each delivers, retries or was stopped by a refusal.
#ifndef TALLYGATE_COLLECTOR_WEB_SINKS_PANEL_H_
#define TALLYGATE_COLLECTOR_WEB_SINKS_PANEL_H_

#include <string>
#include <vector>

#include "collector/deliver/sink_report.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// The panel's HTML; empty without sinks.
std::string SinksPanel(const std::vector<SinkReport>& sinks, Language language);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_SINKS_PANEL_H_
