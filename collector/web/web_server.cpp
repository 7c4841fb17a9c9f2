#include "collector/web/web_server.h"

#include <httplib.h>

#include "collector/base/log.h"
#include "collector/config/host_port.h"
#include "collector/config/http_access.h"
#include "collector/web/access.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/sources_panel.h"
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

// Counts a token the request presents as right or wrong for its client.
// A request that presents none is neither, and so is any on a dashboard
// without tokens, where a token opens nothing. A wrong cookie is deleted,
// so that a browser holding one of before the token changed presents it
// once, not at every request (and is not slowed down for it).
void Judge(const Tokens& tokens, const httplib::Request& request, httplib::Response& response) {
  const std::optional<std::string> presented = PresentedToken(request);
  if (!presented || (tokens.token.empty() && !tokens.access.enabled())) return;
  if ((!tokens.token.empty() && SameToken(*presented, tokens.token)) ||
      tokens.access.AdminOfToken(*presented)) {
    tokens.failures.Succeeded(request.remote_addr);
    return;
  }
  const bool bearer = HasBearer(request);
  tokens.failures.Failed(request.remote_addr, bearer ? "Bearer token" : "cookie");
  if (!bearer) response.set_header("Set-Cookie", ClearedTokenCookie(tokens.secure));
}

// Answers the requests that may not go on (no Host, a Host other than
// loopback without a token, a POST from another site, a missing or wrong
// token, a write without an admin token); Unhandled lets the others
// through. A write's form token is checked where its body has been read.
// A request answered here with its body unread ends its connection
// (door::Router::ServeOne).
httplib::Server::HandlerResponse Admit(const Tokens& tokens, const httplib::Request& request,
                                       httplib::Response& response) {
  const std::string& token = tokens.token;
  const WriteAccess& access = tokens.access;
  if (request.path != "/login") Judge(tokens, request, response);
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

Tokens WebServer::tokens() {
  return {options_.token, dashboard_.access(), failures_, !options_.tls_cert_file.empty()};
}

uint64_t BodyLimitOf(std::string_view method, std::string_view path) {
  if (method == "POST" && path == "/api/cardholders/import") return kImportBodyLimit;
  if (path == "/login") return kLoginBodyLimit;
  return kBodyLimit;
}

WebOptions WebOptionsFor(const CollectorConfig& config, const std::string& listen) {
  HttpConfig http = config.http;
  if (!listen.empty()) http.listen = listen;
  WebOptions options;
  try {
    const HostPort address = ParseHostPort(http.listen, std::nullopt);
    options.host = address.host == "localhost" ? "127.0.0.1" : address.host;
    options.port = address.port;
  } catch (const InputError& e) {
    throw InputError("--http " + http.listen + ": " + e.what());
  }
  if (const std::string problem = HttpAccessProblem(http); !problem.empty()) {
    throw ConfigError(problem);
  }
  if (!http.token_file.empty()) options.token = ReadTokenFile(http.token_file);
  if (!http.admin_token_file.empty()) options.admins = ReadAdminTokens(http.admin_token_file);
  options.tls_cert_file = http.tls_cert_file;
  options.tls_key_file = http.tls_key_file;
  for (const AdminToken& admin : options.admins) {
    if (admin.token == options.token) {
      throw ConfigError("admin_token_file " + http.admin_token_file + ": the token of " +
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
      door_(options_.limits, BodyLimitOf,
            [this](door::Connection& connection, const door::RequestHead& head, bool last) {
              return router_.ServeOne(connection, head, last, options_.stall_timeout);
            },
            [this](const std::string& client) { return failures_.HoldUntil(client); }) {
  // A second fence behind the front door's, which refuses longer bodies
  // from their Content-Length.
  router_.set_payload_max_length(kImportBodyLimit);
  router_.set_default_headers({
      {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "same-origin"},
      {"X-Frame-Options", "DENY"},
  });
  router_.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) {
        OfferGzipOnly(const_cast<httplib::Request&>(request));
        return Admit(tokens(), request, response);
      });
  AddRoutes();
}

WebServer::~WebServer() { Stop(); }

void WebServer::AddRoutes() {
  httplib::Server& server = router_;
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
  AddSourceConfirm(server, dashboard_);
  AddMetrics(server, dashboard_, options_.token);
  AddLoginPage(server, tokens());
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
  if (!options_.tls_cert_file.empty()) {
    tls_ = std::make_shared<door::TlsContext>(options_.tls_cert_file, options_.tls_key_file);
    door_.UseTls(tls_);
  }
  try {
    port_ = door_.Listen(options_.host, options_.port);
    router_.Listening(door_.listener());
    door_.Start();
  } catch (const door::ListenError& e) {
    throw WebStartError("the dashboard cannot listen on " + where + ": " + e.what());
  }
}

void WebServer::Stop() {
  feed_.Stop();  // the live feed's streams end, and free their workers
  router_.Stopping();  // and so do downloads
  door_.Stop();
}

void WebServer::ReloadTls() {
  if (!tls_) return;
  try {
    tls_->Reload();
    Log(LogLevel::kInfo, "dashboard: certificate and key read again from " + options_.tls_cert_file +
                             " and " + options_.tls_key_file);
  } catch (const door::TlsError& e) {
    Log(LogLevel::kError, std::string("dashboard: ") + e.what() +
                              "; the certificate read before is served still");
  }
}

}  // namespace tallygate::collector::web
