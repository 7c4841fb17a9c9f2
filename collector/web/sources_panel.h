// The HR sources' last reads on the Cardholders page ([[holders_from]]):
// when, what came of it, what it changed, the employees skipped, the
// problems that refused it, and the revocations it holds, with the button
// that confirms them for an admin (POST /cardholders/sources/NAME/confirm,
// which reads the HR system again and makes the read when it revokes just
// those).
#ifndef TALLYGATE_COLLECTOR_WEB_SOURCES_PANEL_H_
#define TALLYGATE_COLLECTOR_WEB_SOURCES_PANEL_H_

#include <httplib.h>

#include <string>
#include <vector>

#include "collector/base/source_read.h"
#include "collector/web/dashboard.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// Empty without any source configured.
std::string SourcesPanel(Dashboard& dashboard, const httplib::Request& request,
                         Language language);

void AddSourceConfirm(httplib::Server& server, Dashboard& dashboard);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_SOURCES_PANEL_H_
