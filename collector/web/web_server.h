// The collector's web dashboard: an HTTP server beside the fleet, with
// HTML pages, a JSON API, /metrics and /healthz (docs/collector.md, "Web
// dashboard"). Every request but /login, /healthz and /static/ needs the
// token when one is set; without one, only requests addressed to a
// loopback name or address are answered. A write needs an admin token
// (write_access.h); one from a browser must come from the dashboard's own
// pages. It reads the store over connections of its own.
#ifndef TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_
#define TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "collector/config/config.h"
#include "collector/poll/poll_metrics.h"
#include "collector/web/admin_tokens.h"
#include "collector/web/dashboard.h"
#include "collector/web/live_feed.h"

namespace httplib {
class Server;
}

namespace tallygate::collector::web {

struct WebOptions {
  std::string host = "127.0.0.1";
  int port = 8080;             // 0: any free port
  std::string token;           // empty: none needed
  std::string database;        // as the configuration writes it
  // A client that sends or takes nothing for this long is dropped.
  std::chrono::seconds stall_timeout{10};
  std::vector<AdminToken> admins = {};  // who may write; none: read-only
  // Told when punches are stored, for /api/events; it outlives the server.
  // Null: the feed looks once a second.
  PunchSignal* stored = nullptr;
};

// The options [http] gives (listen overridden by `listen` when not empty):
// the token read from token_file, the admins from admin_token_file.
// Throws std::runtime_error saying what is wrong (a listen address off
// loopback without a token, a token file that cannot be read or is empty,
// an admin token that is the read token).
WebOptions WebOptionsFor(const CollectorConfig& config, const std::string& listen);

// A server that cannot start: the address is in use or not this machine's.
class WebStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class WebServer {
 public:
  // `metrics`, when given, outlives the server.
  WebServer(WebOptions options, PollMetrics* metrics,
            StorePool::Opener open = OpenStore);
  ~WebServer();  // stops
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Listens and serves on a thread of its own. Throws WebStartError.
  void Start();
  void Stop();

  int port() const { return port_; }

  // See Dashboard::Attach.
  void Attach(std::shared_ptr<const CollectorConfig> config, PollNowFunction poll_now) {
    dashboard_.Attach(std::move(config), std::move(poll_now));
  }

 private:
  void AddRoutes();

  WebOptions options_;
  Dashboard dashboard_;
  LiveFeed feed_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listen_returned_ = false;
  int port_ = 0;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_
