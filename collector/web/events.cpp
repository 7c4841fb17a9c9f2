// /api/events: every punch as it is stored, as Server-Sent Events. One
// event a punch: "id:" its store id, "data:" the JSON API's (and `export
// --format jsonl`'s) object. A stream starts after Last-Event-ID (which an
// EventSource sends when it reconnects), else after ?after=, else after the
// newest punch; it reads on from the last id it sent, so a client that
// reconnects with the last id it saw gets every punch once, in id order.
//
// A stream holds a worker for as long as it runs, so at most kFeeds run at
// once. It reads the store when told that punches were stored, and once a
// second besides; it says ": keep-alive" when it has been quiet for
// kKeepAlive; a client that went away is noticed within a second (its end
// of the connection closed), or by a write that fails. A store that fails ends the stream; the client comes back.
#include <charconv>
#include <utility>

#include "collector/export/punch_export.h"
#include "collector/feed/punch_follower.h"
#include "collector/base/log.h"
#include "collector/web/places.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBatch = 500;
constexpr std::chrono::seconds kLook{1};
// Short, because a client gone without closing its end (a network lost)
// is noticed only by a write that fails: streams nobody reads must not
// hold every place for long. Two seconds cost a few bytes.
constexpr std::chrono::seconds kKeepAlive{2};
// How long an EventSource waits before it reconnects, in ms.
constexpr const char* kRetry = "retry: 2000\n\n";

std::string PunchEvent(const PunchRow& row) {
  // The JSON line ends in the line end that, with one more, ends the event.
  return "id: " + std::to_string(row.id) + "\ndata: " + ExportRow(row, ExportFormat::kJsonLines) +
         "\n";
}

// The id a stream starts after, when the request names one. Throws BadField.
std::optional<int64_t> RequestedStart(const httplib::Request& request) {
  const char* field = "Last-Event-ID";
  std::string text = request.get_header_value(field);
  if (text.empty()) {
    field = "after";
    std::optional<std::string> after = Param(request, field);
    if (!after) return std::nullopt;
    text = *after;
  }
  int64_t id = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc{} || end != text.data() + text.size() || id < 0) {
    throw BadField(field, Msg::kBadPunchId, text);
  }
  return id;
}

class Stream {
 public:
  Stream(Dashboard& dashboard, LiveFeed& feed, int64_t after, std::shared_ptr<Place> place)
      : dashboard_(dashboard), feed_(feed), follower_(feed.signal(), after),
        place_(std::move(place)) {}

  // One step, for cpp-httplib's chunked provider (called again while it
  // returns true and the stream is not done): sends what was stored after
  // the last punch sent, else a keep-alive when one is due, else waits for
  // news up to kLook. False when the client is gone.
  bool Next(httplib::DataSink& sink) {
    if (feed_.Stopping()) return Done(sink);
    if (!sink.is_writable()) return false;  // the client went away
    std::string text = std::exchange(pending_, {});
    try {
      for (const PunchRow& row : dashboard_.WithStore(
               [&](PunchReader& store) { return follower_.Next(store, kBatch); })) {
        text += PunchEvent(row);
      }
    } catch (const std::exception& e) {
      Log(LogLevel::kWarning, std::string("dashboard: /api/events: ") + e.what() +
                                  "; the stream ends, its client resumes after punch " +
                                  std::to_string(follower_.position()));
      return Done(sink);
    }
    const auto now = Clock::now();
    if (text.empty() && now >= keep_alive_at_) text = ": keep-alive\n\n";
    if (!text.empty()) {
      keep_alive_at_ = now + kKeepAlive;
      return sink.write(text.data(), text.size());
    }
    follower_.Wait(std::min(now + kLook, keep_alive_at_));
    return true;
  }

 private:
  static bool Done(httplib::DataSink& sink) {
    sink.done();
    return true;
  }

  Dashboard& dashboard_;
  LiveFeed& feed_;
  PunchFollower follower_;  // at the last punch sent
  const std::shared_ptr<Place> place_;
  std::string pending_ = kRetry;
  Clock::time_point keep_alive_at_ = Clock::now() + kKeepAlive;
};

}  // namespace

void AddEvents(httplib::Server& server, Dashboard& dashboard, LiveFeed& feed) {
  auto places = std::make_shared<Places>(kFeeds);
  server.Get("/api/events", Guarded([&dashboard, &feed, places](const httplib::Request& request,
                                                                httplib::Response& response) {
    const std::optional<int64_t> start = RequestedStart(request);
    std::shared_ptr<Place> place =
        TakePlace(places, kFeeds, request, response, Msg::kFeedsBusy, 5);
    if (!place) return;
    const int64_t after =
        start ? *start : dashboard.WithStore([](PunchReader& store) { return store.LastPunchId(); });
    auto stream = std::make_shared<Stream>(dashboard, feed, after, std::move(place));
    response.set_header("Cache-Control", "no-store");
    response.set_header("X-Accel-Buffering", "no");  // a proxy passes each event on at once
    response.set_chunked_content_provider(
        "text/event-stream; charset=utf-8",
        [stream](size_t, httplib::DataSink& sink) { return stream->Next(sink); });
  }));
}

}  // namespace tallygate::collector::web
