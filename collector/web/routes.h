// The dashboard's URLs, each group added to the server by its own file.
#ifndef TALLYGATE_COLLECTOR_WEB_ROUTES_H_
#define TALLYGATE_COLLECTOR_WEB_ROUTES_H_

#include <httplib.h>

#include <string>

#include "collector/web/dashboard.h"
#include "collector/web/live_feed.h"
#include "collector/web/messages.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {

// Requests served at once, and so the store connections open at most.
inline constexpr size_t kWorkers = 16;
// CSV downloads sent at once, and live feeds open at once: a quarter of the
// workers each (places.h), so that however many clients download, follow
// the feed or stall, half the workers are left for the pages, the API and
// /healthz.
inline constexpr size_t kDownloads = kWorkers / 4;
inline constexpr size_t kFeeds = kWorkers / 4;

void AddTerminalsPage(httplib::Server& server, Dashboard& dashboard);  // /terminals
void AddTerminalPage(httplib::Server& server, Dashboard& dashboard);   // /terminals/NAME[/poll]
void AddPunchesPage(httplib::Server& server, Dashboard& dashboard);    // /punches
void AddPunchesCsv(httplib::Server& server, Dashboard& dashboard);     // /punches.csv
void AddTimesheetPage(httplib::Server& server, Dashboard& dashboard);  // /timesheet
void AddTimesheetCsv(httplib::Server& server, Dashboard& dashboard);   // /timesheet.csv
void AddApi(httplib::Server& server, Dashboard& dashboard);            // /api/...
void AddEvents(httplib::Server& server, Dashboard& dashboard,          // /api/events
               LiveFeed& feed);
void AddCardholdersApi(httplib::Server& server, Dashboard& dashboard); // /api/cardholders, /api/cards
void AddCardholdersPage(httplib::Server& server, Dashboard& dashboard);  // /cardholders[/CARD]
void AddMetrics(httplib::Server& server, Dashboard& dashboard,         // /metrics, /healthz
                const std::string& token);
void AddLoginPage(httplib::Server& server, const std::string& token,   // /login
                  const WriteAccess& access);
void AddStaticFiles(httplib::Server& server);                          // /static/...

// The fleet as the dashboard shows it now.
std::vector<TerminalView> CurrentTerminals(Dashboard& dashboard);

// The login form, with `message` (HTML) above it when not empty.
std::string LoginForm(Language language, const std::string& message);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ROUTES_H_
