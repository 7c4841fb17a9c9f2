// The dashboard's URLs, each group added to the server by its own file.
#ifndef TALLYGATE_COLLECTOR_WEB_ROUTES_H_
#define TALLYGATE_COLLECTOR_WEB_ROUTES_H_

#include <httplib.h>

#include <string>

#include "collector/web/dashboard.h"
#include "collector/door/failed_sign_ins.h"
#include "collector/door/front_door.h"
#include "collector/feed/live_feed.h"
#include "collector/web/messages.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {

// Requests served at once, and so the store connections open at most
// (door::DoorLimits::workers).
inline constexpr size_t kWorkers = door::DoorLimits{}.workers;
// CSV downloads sent at once, and live feeds open at once: a quarter of the
// workers each (places.h), so that however many clients download or follow
// the feed, half the workers are left for the pages, the API and /healthz.
// A client that stalls holds none (collector/door/front_door.h).
inline constexpr size_t kDownloads = kWorkers / 4;
inline constexpr size_t kFeeds = kWorkers / 4;

// The longest request bodies: a CSV import's, the sign-in form's, and
// every other's (a cardholder's form or JSON, a "poll now").
inline constexpr uint64_t kImportBodyLimit = 16 * 1024 * 1024;
inline constexpr uint64_t kLoginBodyLimit = 4 * 1024;
inline constexpr uint64_t kBodyLimit = 64 * 1024;
uint64_t BodyLimitOf(std::string_view method, std::string_view path);

// Who may come in: the read token, the admins', where wrong ones are
// counted, and whether the login cookie may travel over HTTPS only.
struct Tokens {
  const std::string& token;
  const WriteAccess& access;
  door::FailedSignIns& failures;
  bool secure;
};

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
void AddLoginPage(httplib::Server& server, Tokens tokens);            // /login
void AddStaticFiles(httplib::Server& server);                          // /static/...

// The fleet as the dashboard shows it now.
std::vector<TerminalView> CurrentTerminals(Dashboard& dashboard);

// The login form, with `message` (HTML) above it when not empty.
std::string LoginForm(Language language, const std::string& message);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ROUTES_H_
