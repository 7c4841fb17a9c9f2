// The dashboard's URLs, each group added to the server by its own file.
#ifndef TALLYGATE_COLLECTOR_WEB_ROUTES_H_
#define TALLYGATE_COLLECTOR_WEB_ROUTES_H_

#include <httplib.h>

#include <string>

#include "collector/web/dashboard.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {

void AddTerminalsPage(httplib::Server& server, Dashboard& dashboard);  // /terminals
void AddTerminalPage(httplib::Server& server, Dashboard& dashboard);   // /terminals/NAME[/poll]
void AddPunchesPage(httplib::Server& server, Dashboard& dashboard);    // /punches, /punches.csv
void AddApi(httplib::Server& server, Dashboard& dashboard);            // /api/...
void AddMetrics(httplib::Server& server, Dashboard& dashboard);        // /metrics, /healthz
void AddLoginPage(httplib::Server& server, const std::string& token);  // /login
void AddStaticFiles(httplib::Server& server);                          // /static/...

// The fleet as the dashboard shows it now.
std::vector<TerminalView> CurrentTerminals(Dashboard& dashboard);

// The login form, with `message` (HTML) above it when not empty.
std::string LoginForm(Language language, const std::string& message);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ROUTES_H_
