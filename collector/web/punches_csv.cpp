// /punches.csv: the punch search as `export --format csv` writes it,
// through the bounded downloads (downloads.h).
#include "collector/export/punch_export.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {

void AddPunchesCsv(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/punches.csv", Guarded([&dashboard](const httplib::Request& request,
                                                  httplib::Response& response) {
    const PunchFilter filter = ReadSearch(request, false).filter;
    dashboard.downloads().Send(request, response, "punches.csv", [&](Spool& spool) {
      spool.Append(ExportHeader(ExportFormat::kCsv));
      dashboard.WithStore([&](PunchReader& store) {
        store.ForEachPunch(filter, [&](const PunchRow& row) {
          spool.Append(ExportRow(row, ExportFormat::kCsv));
        });
      });
    });
  }));
}

}  // namespace tallygate::collector::web
