#include "collector/web/downloads.h"

#include "collector/base/log.h"
#include "collector/web/routes.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kCsvChunk = 64 * 1024;

}  // namespace

Downloads::Downloads() : places_(std::make_shared<Places>(kDownloads)) {}

void Downloads::Send(const httplib::Request& request, httplib::Response& response,
                     const std::string& file, const std::function<void(Spool&)>& fill) {
  std::shared_ptr<Place> slot =
      TakePlace(places_, kDownloads, request, response, Msg::kDownloadsBusy, 10);
  if (!slot) return;
  auto spool = std::make_shared<Spool>();
  fill(*spool);
  spool->Finish();
  response.set_header("Content-Disposition", "attachment; filename=\"" + file + "\"");
  response.set_header("Cache-Control", "no-store");
  // Chunked, so that cpp-httplib may gzip it.
  response.set_chunked_content_provider(
      "text/csv; charset=utf-8", [spool, slot, file](size_t offset, httplib::DataSink& sink) {
        try {
          const std::string bytes = spool->Read(offset, kCsvChunk);
          if (bytes.empty()) {
            sink.done();
            return true;
          }
          return sink.write(bytes.data(), bytes.size());
        } catch (const std::exception& e) {
          Log(LogLevel::kError, "dashboard: " + file + ": " + e.what());
          return false;
        }
      });
}

}  // namespace tallygate::collector::web
