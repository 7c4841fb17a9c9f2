#include "collector/web/downloads.h"

#include "collector/poll/log.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kCsvChunk = 64 * 1024;

using Slots = std::counting_semaphore<>;

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

}  // namespace

Downloads::Downloads() : slots_(std::make_shared<Slots>(kDownloads)) {}

void Downloads::Send(const httplib::Request& request, httplib::Response& response,
                     const std::string& file, const std::function<void(Spool&)>& fill) {
  if (!slots_->try_acquire()) {
    response.set_header("Retry-After", "10");
    // A client that heeds this closes at once: an idle connection kept
    // alive holds a worker too.
    response.set_header("Connection", "close");
    SendError(request, response, 503,
              Fill(LanguageOf(request), Msg::kDownloadsBusy, {std::to_string(kDownloads)}));
    return;
  }
  auto slot = std::make_shared<Slot>(slots_);
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
