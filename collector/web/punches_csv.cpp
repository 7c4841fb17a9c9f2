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
#include <semaphore>

#include "collector/export/punch_export.h"
#include "collector/poll/log.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/spool.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kCsvChunk = 64 * 1024;

using Slots = std::counting_semaphore<kDownloads>;

// One of the kDownloads places, given back when the download ends.
class Slot {
 public:
  explicit Slot(std::shared_ptr<Slots> slots) : slots_(std::move(slots)) {}
  ~Slot() { slots_->release(); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

 private:
  std::shared_ptr<Slots> slots_;
};

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

void SendCsv(Dashboard& dashboard, const std::shared_ptr<Slots>& slots,
             const httplib::Request& request, httplib::Response& response) {
  const PunchFilter filter = ReadSearch(request, false).filter;
  if (!slots->try_acquire()) {
    response.set_header("Retry-After", "10");
    // A client that heeds this closes at once: an idle connection kept
    // alive holds a worker too.
    response.set_header("Connection", "close");
    SendError(request, response, 503,
              Fill(LanguageOf(request), Msg::kDownloadsBusy, {std::to_string(kDownloads)}));
    return;
  }
  auto slot = std::make_shared<Slot>(slots);
  std::shared_ptr<Spool> spool = ReadRows(dashboard, filter);
  response.set_header("Content-Disposition", "attachment; filename=\"punches.csv\"");
  response.set_header("Cache-Control", "no-store");
  // Chunked, so that cpp-httplib may gzip it.
  response.set_chunked_content_provider(
      "text/csv; charset=utf-8", [spool, slot](size_t offset, httplib::DataSink& sink) {
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
  auto slots = std::make_shared<Slots>(kDownloads);
  server.Get("/punches.csv", Guarded([&dashboard, slots](const httplib::Request& request,
                                                         httplib::Response& response) {
    SendCsv(dashboard, slots, request, response);
  }));
}

}  // namespace tallygate::collector::web
