// The collector's web dashboard: an HTTP (or HTTPS) server beside the
// fleet, with HTML pages, a JSON API, /metrics and /healthz
// (docs/collector.md, "Web dashboard"). Every request but /login, /healthz
// and /static/ needs the token when one is set; without one, only requests
// addressed to a loopback name or address are answered. A write needs an
// admin token (write_access.h); one from a browser must come from the
// dashboard's own pages. Requests come in through the front door
// (collector/door/front_door.h), which bounds them. It reads the store over connections
// of its own.
#ifndef TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_
#define TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "collector/base/failure.h"
#include "collector/base/poll_metrics.h"
#include "collector/config/config.h"
#include "collector/door/failed_sign_ins.h"
#include "collector/door/front_door.h"
#include "collector/door/router.h"
#include "collector/door/tls_context.h"
#include "collector/feed/live_feed.h"
#include "collector/web/admin_tokens.h"
#include "collector/web/dashboard.h"
#include "collector/web/routes.h"

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
  // HTTPS with the certificate chain and key of these files (PEM); both
  // empty: plain HTTP.
  std::string tls_cert_file = {};
  std::string tls_key_file = {};
  door::DoorLimits limits = {};
};

// The options [http] gives (listen overridden by `listen` when not empty):
// the token read from token_file, the admins from admin_token_file.
// Throws InputError for a `listen` that is no HOST:PORT, ConfigError for
// [http] that cannot serve as written (a listen address off loopback
// without a token, a token file that cannot be read, is empty or holds a
// token too short, an admin token that is the read token).
WebOptions WebOptionsFor(const CollectorConfig& config, const std::string& listen);

// A server that cannot start: the address is in use or not this machine's.
class WebStartError : public Failure {
 public:
  using Failure::Failure;
};

class WebServer {
 public:
  // `metrics`, when given, outlives the server.
  WebServer(WebOptions options, PollMetrics* metrics,
            StorePool::Opener open = OpenStore);
  ~WebServer();  // stops
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Listens and serves on threads of its own. Throws WebStartError, or
  // door::TlsError for a certificate or key that cannot be used.
  void Start();
  void Stop();

  int port() const { return port_; }
  bool tls() const { return tls_ != nullptr; }

  // Reads the certificate and key again (SIGHUP); logs what came of it.
  // Connections open keep the ones they began with.
  void ReloadTls();

  // See Dashboard::Attach.
  void Attach(std::shared_ptr<const CollectorConfig> config, PollNowFunction poll_now) {
    dashboard_.Attach(std::move(config), std::move(poll_now));
  }

 private:
  void AddRoutes();
  Tokens tokens();

  WebOptions options_;
  Dashboard dashboard_;
  LiveFeed feed_;
  door::FailedSignIns failures_;
  door::Router router_;
  std::shared_ptr<door::TlsContext> tls_;
  door::FrontDoor door_;
  int port_ = 0;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_WEB_SERVER_H_
