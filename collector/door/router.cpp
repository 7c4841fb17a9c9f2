#include "collector/door/router.h"

namespace tallygate::collector::door {
namespace {

// The request a worker thread is serving, for the post-routing handler,
// which cpp-httplib calls with the request and answer only.
struct Serving {
  const ConnectionStream* stream;
  uint64_t whole;  // bytes of the request, head and body
};
thread_local const Serving* serving = nullptr;

bool BodyLeft(const Serving& now) { return now.stream->read_bytes() < now.whole; }

}  // namespace

Router::Router() {
  set_post_routing_handler([](const httplib::Request&, httplib::Response& response) {
    if (serving == nullptr || !BodyLeft(*serving)) return;
    response.headers.erase("Keep-Alive");
    response.set_header("Connection", "close");
  });
}

bool Router::ServeOne(Connection& connection, const RequestHead& head, bool last,
                      std::chrono::milliseconds stall) {
  ConnectionStream stream(connection, stall);
  const Serving now{&stream, head.size + head.body};
  serving = &now;
  bool closed = false;
  const bool answered = process_request(stream, last, closed, nullptr);
  serving = nullptr;
  return answered && !closed && !last && !BodyLeft(now);
}

}  // namespace tallygate::collector::door
