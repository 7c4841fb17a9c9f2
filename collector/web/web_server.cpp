#include "collector/web/web_server.h"

#include <httplib.h>

#include <cerrno>
#include <cstring>

#include "collector/config/host_port.h"
#include "collector/config/http_access.h"
#include "collector/web/access.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/static_assets.h"

namespace tallygate::collector::web {
namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool OpenToAll(const std::string& path) {
  return path == "/login" || path == "/healthz" || StartsWith(path, "/static/");
}

bool HasHost(const httplib::Request& request) {
  // HTTP/1.0 had no Host header; HTTP/1.1 made it a must.
  return request.has_header("Host") || request.version == "HTTP/1.0";
}

bool Writes(const httplib::Request& request) {
  return request.method != "GET" && request.method != "HEAD" && request.path != "/login";
}

// Answers the requests that may not go on (no Host, a Host other than
// loopback without a token, a POST from another site, a missing or wrong
// token, a write without an admin token); Unhandled lets the others
// through. A write's form token is checked where its body has been read.
httplib::Server::HandlerResponse Admit(const std::string& token, const WriteAccess& access,
                                       const httplib::Request& request,
                                       httplib::Response& response) {
  const Language language = LanguageOf(request);
  const std::string host = request.get_header_value("Host");
  const WriteRefusal refusal = Writes(request) ? access.Check(request, false) : WriteRefusal{};
  if (!HasHost(request)) {
    SendError(request, response, 400, Fill(language, Msg::kNoHost, {}));
  } else if (token.empty() && request.has_header("Host") && !LoopbackHostHeader(host)) {
    SendError(request, response, 403, Fill(language, Msg::kForeignHost, {host}));
  } else if (refusal.status != 0) {
    SendError(request, response, refusal.status, Fill(language, refusal.reason, {}));
  } else if (request.method != "GET" && request.method != "HEAD" && !HasBearer(request) &&
             !SameOrigin(request)) {
    // A browser sends the cookie with another site's POST too; it never
    // adds an Authorization header by itself.
    SendError(request, response, 403, Fill(language, Msg::kCrossOrigin, {}));
  } else if (Writes(request) || OpenToAll(request.path) || MayRead(token, request) ||
             access.AdminOf(request)) {
    return httplib::Server::HandlerResponse::Unhandled;
  } else if (StartsWith(request.path, "/api/") || request.path == "/metrics" ||
             IsDownload(request.path)) {
    SendError(request, response, 401, Fill(language, Msg::kTokenNeeded, {}));
  } else {
    SendPage(response, 401, {language, Msg::kSignIn, "", LoginForm(language, "")});
  }
  return httplib::Server::HandlerResponse::Handled;
}

// cpp-httplib compresses with brotli, at its slowest setting, whenever a
// request accepts it: a month's CSV then came at 0.6 MB/s and took the
// collector to 100 MB. The dashboard answers with gzip (or plainly)
// instead; the library chooses by the request's Accept-Encoding alone, so
// that is what is narrowed (the request is the server's own object, handed
// to this handler as const). The live feed goes plainly: a compressor holds
// events back until it has a block's worth.
void OfferGzipOnly(httplib::Request& request) {
  const auto accepted = request.headers.find("Accept-Encoding");
  if (accepted == request.headers.end()) return;
  if (request.path == "/api/events") {
    request.headers.erase("Accept-Encoding");
    return;
  }
  const bool gzip = accepted->second.find("gzip") != std::string::npos;
  request.headers.erase("Accept-Encoding");
  if (gzip) request.headers.emplace("Accept-Encoding", "gzip");
}

}  // namespace

WebOptions WebOptionsFor(const CollectorConfig& config, const std::string& listen) {
  HttpConfig http = config.http;
  if (!listen.empty()) http.listen = listen;
  WebOptions options;
  try {
    const HostPort address = ParseHostPort(http.listen, std::nullopt);
    options.host = address.host == "localhost" ? "127.0.0.1" : address.host;
    options.port = address.port;
  } catch (const std::invalid_argument& e) {
    throw std::runtime_error("--http " + http.listen + ": " + e.what());
  }
  if (const std::string problem = HttpAccessProblem(http); !problem.empty()) {
    throw std::runtime_error(problem);
  }
  if (!http.token_file.empty()) options.token = ReadTokenFile(http.token_file);
  if (!http.admin_token_file.empty()) options.admins = ReadAdminTokens(http.admin_token_file);
  for (const AdminToken& admin : options.admins) {
    if (admin.token == options.token) {
      throw std::runtime_error("admin_token_file " + http.admin_token_file + ": the token of " +
                               admin.name + " is the read token of token_file: give it its own");
    }
  }
  options.database = config.database;
  return options;
}

WebServer::WebServer(WebOptions options, PollMetrics* metrics, StorePool::Opener open)
    : options_(std::move(options)),
      dashboard_(options_.database, metrics, std::move(open), options_.admins),
      feed_(options_.stored),
      server_(std::make_unique<httplib::Server>()) {
  server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  server_->set_keep_alive_timeout(2);
  // A client that sends or takes nothing for this long is dropped, and
  // its worker freed.
  server_->set_read_timeout(options_.stall_timeout);
  server_->set_write_timeout(options_.stall_timeout);
  // cpp-httplib writes the headers and the body apart; without no-delay the
  // body waits ~40 ms for the client's delayed acknowledgement.
  server_->set_tcp_nodelay(true);
  // SO_REUSEADDR only: cpp-httplib's default adds SO_REUSEPORT, with which
  // a second collector would share the port silently instead of being
  // refused.
  server_->set_socket_options([](int socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server_->set_default_headers({
      {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "same-origin"},
      {"X-Frame-Options", "DENY"},
  });
  server_->set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        OfferGzipOnly(const_cast<httplib::Request&>(request));
        return Admit(options_.token, dashboard_.access(), request, response);
      });
  AddRoutes();
}

WebServer::~WebServer() { Stop(); }

void WebServer::AddRoutes() {
  httplib::Server& server = *server_;
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/terminals", 303);
  });
  AddTerminalsPage(server, dashboard_);
  AddTerminalPage(server, dashboard_);
  AddPunchesPage(server, dashboard_);
  AddPunchesCsv(server, dashboard_);
  AddTimesheetPage(server, dashboard_);
  AddTimesheetCsv(server, dashboard_);
  AddApi(server, dashboard_);
  AddEvents(server, dashboard_, feed_);
  AddCardholdersApi(server, dashboard_);
  AddCardholdersPage(server, dashboard_);
  AddMetrics(server, dashboard_, options_.token);
  AddLoginPage(server, options_.token, dashboard_.access());
  AddStaticFiles(server);
}

void AddStaticFiles(httplib::Server& server) {
  for (const auto& [path, content, type] :
       {std::tuple{"/static/app.css", kAppCss, "text/css; charset=utf-8"},
        std::tuple{"/static/app.js", kAppJs, "text/javascript; charset=utf-8"}}) {
    server.Get(path, [content = content, type = type](const httplib::Request&,
                                                      httplib::Response& response) {
      response.set_header("Cache-Control", "max-age=3600");
      response.set_content(content, type);
    });
  }
}

void WebServer::Start() {
  const std::string where = HostPortText(options_.host, static_cast<uint16_t>(options_.port));
  errno = 0;
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.host);
  } else if (server_->bind_to_port(options_.host, options_.port)) {
    port_ = options_.port;
  }
  if (port_ <= 0) {
    const int error = errno;
    throw WebStartError("the dashboard cannot listen on " + where + ": " +
                        (error != 0 ? std::strerror(error)
                                    : "the address is in use or not one of this machine's"));
  }
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listen_returned_ = true;
  });
}

void WebServer::Stop() {
  if (!thread_.joinable()) return;
  // A stop before the server runs would be missed, and the join would wait
  // for ever.
  while (!server_->is_running() && !listen_returned_) std::this_thread::yield();
  feed_.Stop();
  server_->stop();
  thread_.join();
}

}  // namespace tallygate::collector::web
