// /punches.csv: the punch search as `export --format csv` writes it.
//
// The rows are read in one go, at the store's pace, into a temporary file;
// the store's connection (and the snapshot its read holds) goes back to the
// pool before the first byte is sent, and the file then goes out at the
// client's pace. A slow client holds no connection, a stalled one its
// worker until the stall timeout. So a download holds exactly the punches
// that were stored when it started, each once, in the export's order (one
// stored meanwhile is in the next download), and a store that fails is a
// 503 with its reason instead of a file cut short.
#include "collector/export/punch_export.h"
#include "collector/poll/log.h"
#include "collector/web/places.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/spool.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kCsvChunk = 64 * 1024;

std::shared_ptr<Spool> ReadRows(Dashboard& dashboard, const PunchFilter& filter) {
  auto spool = std::make_shared<Spool>();
  spool->Append(ExportHeader(ExportFormat::kCsv));
  dashboard.WithStore([&](Store& store) {
    store.ForEachPunch(
        filter, [&](const PunchRow& row) { spool->Append(ExportRow(row, ExportFormat::kCsv)); });
  });
  spool->Finish();
  return spool;
}

void SendCsv(Dashboard& dashboard, const std::shared_ptr<Places>& places,
             const httplib::Request& request, httplib::Response& response) {
  const PunchFilter filter = ReadSearch(request, false).filter;
  std::shared_ptr<Place> place =
      TakePlace(places, kDownloads, request, response, Msg::kDownloadsBusy, 10);
  if (!place) return;
  std::shared_ptr<Spool> spool = ReadRows(dashboard, filter);
  response.set_header("Content-Disposition", "attachment; filename=\"punches.csv\"");
  response.set_header("Cache-Control", "no-store");
  // Chunked, so that cpp-httplib may gzip it.
  response.set_chunked_content_provider(
      "text/csv; charset=utf-8", [spool, place](size_t offset, httplib::DataSink& sink) {
        try {
          const std::string bytes = spool->Read(offset, kCsvChunk);
          if (bytes.empty()) {
            sink.done();
            return true;
          }
          return sink.write(bytes.data(), bytes.size());
        } catch (const std::exception& e) {
          Log(LogLevel::kError, std::string("dashboard: punches.csv: ") + e.what());
          return false;
        }
      });
}

}  // namespace

void AddPunchesCsv(httplib::Server& server, Dashboard& dashboard) {
  auto places = std::make_shared<Places>(kDownloads);
  server.Get("/punches.csv", Guarded([&dashboard, places](const httplib::Request& request,
                                                          httplib::Response& response) {
    SendCsv(dashboard, places, request, response);
  }));
}

}  // namespace tallygate::collector::web
