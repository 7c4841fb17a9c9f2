// /timesheet.csv: the timesheet page's rows as `tallygate-collector
// timesheet` writes them, through the bounded downloads (downloads.h).
#include "collector/export/timesheet.h"
#include "collector/base/time_zone.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/timesheet_query.h"

namespace tallygate::collector::web {

void AddTimesheetCsv(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/timesheet.csv", Guarded([&dashboard](const httplib::Request& request,
                                                    httplib::Response& response) {
    const std::shared_ptr<const CollectorConfig> config = dashboard.Config();
    const PunchFilter filter =
        TimesheetFilter(ReadTimesheetChoice(request, *config, LocalNow("")), *config);
    dashboard.downloads().Send(request, response, "timesheet.csv", [&](Spool& spool) {
      spool.Append(TimesheetHeader(ExportFormat::kCsv));
      dashboard.WithStore([&](PunchReader& store) {
        ReadTimesheet(store, filter, config->day_starts, [&](const TimesheetRow& row) {
          spool.Append(TimesheetLine(row, ExportFormat::kCsv));
        });
      });
    });
  }));
}

}  // namespace tallygate::collector::web
