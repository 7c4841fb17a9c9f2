// The dashboard served on 127.0.0.1 over a real SQLite store: who gets in
// (by token and by Host), what a hostile card holder's name becomes on the
// pages, bad search values, POSTs from other sites, what /healthz tells
// whom, the CSV download against the export's bytes, and /metrics as
// Prometheus reads it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <tuple>
#include <set>

#include "collector/store/store.h"
#include "collector/export/punch_export.h"
#include "collector/poll/fleet.h"
#include "tests/collector/web/dashboard_fixture.h"
#include "tests/support/postgres_server.h"

namespace tallygate::collector::web {
namespace {

using testing::WriteFile;

TEST_F(DashboardServerTest, WithATokenOnlyRequestsCarryingItGetIn) {
  Serve(kToken);
  struct Case {
    std::string path;
    httplib::Headers headers;
    int status;
  };
  std::vector<Case> cases = {{"/healthz", {}, 200}, {"/static/app.css", {}, 200}, {"/login", {}, 200}};
  for (const char* path : {"/terminals", "/api/terminals", "/metrics", "/punches.csv"}) {
    cases.push_back({path, {}, 401});
    cases.push_back({path, {{"Authorization", "Bearer wrong"}}, 401});
    cases.push_back({path, {{"Cookie", "tallygate_token=s3cret"}}, 401});
    cases.push_back({path, {{"Authorization", std::string("Bearer ") + kToken}}, 200});
    cases.push_back({path, {{"Cookie", "theme=dark; tallygate_token=s3cret%20token"}}, 200});
  }
  for (const Case& c : cases) {
    const std::string shown = c.path + (c.headers.empty() ? "" : " " + c.headers.begin()->second);
    const auto result = Get(c.path, c.headers);
    ASSERT_TRUE(result) << shown;
    EXPECT_EQ(result->status, c.status) << shown;
    if (result->status != 401) continue;
    // Nothing but the refusal: the login form, a JSON error or text.
    EXPECT_EQ(result->body.find("gate-1"), std::string::npos) << shown;
    if (c.path == "/terminals") {
      EXPECT_NE(result->body.find("id=\"login\""), std::string::npos);
    } else if (c.path == "/api/terminals") {
      EXPECT_TRUE(nlohmann::json::parse(result->body).contains("error"));
    }
  }
}

TEST_F(DashboardServerTest, WithoutATokenOnlyRequestsAddressedToLoopbackGetIn) {
  Serve();
  const std::string port = ":" + std::to_string(server_->port());
  const std::pair<std::string, int> hosts[] = {
      {"127.0.0.1" + port, 200},
      {"localhost" + port, 200},
      {"LocalHost", 200},
      {"app.localhost" + port, 200},
      {"127.8.9.10", 200},
      {"[::1]" + port, 200},
      {"[0:0:0:0:0:0:0:1]", 200},
      {"rebound.example" + port, 403},  // DNS rebinding: the attacker's name, our address
      {"127.0.0.1.nip.example", 403},
      {"localhost.example", 403},
      {"10.0.0.5" + port, 403},
      {"[::2]", 403},
      {"127.1", 403},
      {"127.0.0.1:http", 403},
  };
  for (const auto& [host, status] : hosts) {
    for (const std::string path : {"/terminals", "/api/terminals", "/healthz", "/static/app.css"}) {
      const auto result = Get(path, {{"Host", host}, {"Accept-Language", "zh-CN"}});
      ASSERT_TRUE(result) << host << path;
      EXPECT_EQ(result->status, status) << host << path;
      if (status == 200) continue;
      std::string reason = result->body;
      if (path == "/api/terminals") reason = nlohmann::json::parse(result->body).at("error");
      EXPECT_NE(reason.find("已拒绝"), std::string::npos) << host << path << ": " << reason;
      EXPECT_EQ(result->body.find("gate-1"), std::string::npos) << host << path;
    }
  }
  // A token lifts the rule: the token is the protection then.
  Serve(kToken);
  const httplib::Headers bearer = {{"Authorization", std::string("Bearer ") + kToken}};
  for (const auto& [host, status] : hosts) {
    httplib::Headers headers = bearer;
    headers.emplace("Host", host);
    const auto result = Get("/api/terminals", headers);
    ASSERT_TRUE(result) << host;
    EXPECT_EQ(result->status, 200) << host;
  }
}

TEST_F(DashboardServerTest, AnHttp11RequestWithoutAHostIsRefused) {
  for (const std::string token : {"", kToken}) {
    Serve(token);
    const std::pair<const char*, const char*> cases[] = {
        {"GET /healthz HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 400 "},
        {"GET /healthz HTTP/1.1\r\nHost: \r\nConnection: close\r\n\r\n", "HTTP/1.1 400 "},
        {"GET /healthz HTTP/1.0\r\n\r\n", "HTTP/1.1 200 "},
    };
    for (const auto& [request, status] : cases) {
      RawClient client(server_->port(), request);
      const std::string answer = client.ReadToEnd();
      EXPECT_EQ(answer.rfind(status, 0), 0u) << token << ": " << request << answer;
      if (std::string(status).find("400") != std::string::npos) {
        EXPECT_NE(answer.find("no Host header"), std::string::npos) << answer;
      }
    }
  }
}

TEST_F(DashboardServerTest, HealthzNamesTheStoresFailureOnlyToThoseWhoMayReadThePages) {
  const std::string reason = "cannot connect to postgresql://tally@db.internal/punches";
  struct Case {
    std::string token;
    httplib::Headers headers;
    bool detail;
  };
  const Case cases[] = {
      {"", {}, true},  // loopback only: the pages show the same reason to the same clients
      {kToken, {}, false},
      {kToken, {{"Authorization", "Bearer wrong"}}, false},
      {kToken, {{"Authorization", std::string("Bearer ") + kToken}}, true},
      {kToken, {{"Cookie", "tallygate_token=s3cret%20token"}}, true},
  };
  for (const Case& c : cases) {
    Serve(c.token, [&](const std::string&) -> std::unique_ptr<Store> { throw StoreError(reason); });
    const auto result = Get("/healthz", c.headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 503);
    if (c.detail) {
      EXPECT_EQ(result->body, "unavailable: store: " + reason + "\n");
    } else {
      EXPECT_EQ(result->body, "unavailable\n");
    }
  }
}

TEST_F(DashboardServerTest, LoginSetsAStrictHttpOnlyCookieForTheRightTokenOnly) {
  Serve(kToken);
  httplib::Client client("127.0.0.1", server_->port());
  const httplib::Headers origin = {{"Origin", Origin()}};
  const auto wrong = client.Post("/login", origin, httplib::Params{{"token", "guess"}});
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 401);
  EXPECT_FALSE(wrong->has_header("Set-Cookie"));
  const auto right = client.Post("/login", origin, httplib::Params{{"token", kToken}});
  ASSERT_TRUE(right);
  EXPECT_EQ(right->status, 303);
  const std::string cookie = right->get_header_value("Set-Cookie");
  // (The client reads header values percent-decoded.)
  for (const char* part : {"tallygate_token=s3cret token;", "HttpOnly", "SameSite=Strict", "Path=/"}) {
    EXPECT_NE(cookie.find(part), std::string::npos) << cookie;
  }
  EXPECT_EQ(cookie.find("Secure"), std::string::npos) << "a cookie plain HTTP cannot carry back";
  const auto page = Get("/terminals", {{"Cookie", cookie.substr(0, cookie.find(';'))}});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
}

TEST_F(DashboardServerTest, OffLoopbackTheDashboardNeedsATokenFile) {
  WriteFile(dir_ / "token", "0123456789abcdef\n");
  WriteFile(dir_ / "short", "0123456789abcde\n");
  WriteFile(dir_ / "empty", "\n");
  struct Case {
    std::string listen, token_file;
    std::optional<std::string> token;  // absent: refused
  };
  const Case cases[] = {
      {"127.0.0.1:8080", "", ""},
      {"[::1]:8080", "", ""},
      {"localhost:8080", "", ""},
      {"0.0.0.0:8080", "", std::nullopt},
      {"[::]:8080", "", std::nullopt},
      {"10.1.2.3:8080", (dir_ / "token").string(), "0123456789abcdef"},  // line end trimmed
      {"127.0.0.1:8080", (dir_ / "empty").string(), std::nullopt},
      {"127.0.0.1:8080", (dir_ / "missing").string(), std::nullopt},
      {"127.0.0.1:8080", (dir_ / "short").string(), std::nullopt},
  };
  for (const Case& c : cases) {
    CollectorConfig config;
    config.http.token_file = c.token_file;
    if (c.token) {
      EXPECT_EQ(WebOptionsFor(config, c.listen).token, *c.token) << c.listen;
      continue;
    }
    try {
      WebOptionsFor(config, c.listen);
      ADD_FAILURE() << c.listen << " " << c.token_file << " was accepted";
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find("token_file"), std::string::npos) << e.what();
    }
  }
  // Admin tokens too short are refused, naming the file, the line and whose.
  const std::string admins = (dir_ / "admins").string();
  for (const auto& [text, problem] :
       {std::pair{"alice 0123456789abcdef\nbob short\n", ":2: bob: the token is 5 characters long"},
        std::pair{"0123456789abcde\n", ":1: admin: the token is 15 characters long: at least 16"}}) {
    WriteFile(admins, text);
    CollectorConfig config;
    config.http.admin_token_file = admins;
    try {
      WebOptionsFor(config, "127.0.0.1:8080");
      ADD_FAILURE() << text << " was accepted";
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find("admin_token_file " + admins + problem), std::string::npos)
          << e.what();
    }
  }
  // The same mistake in the file is found where it is written.
  try {
    ParseConfig("[http]\nlisten = \"0.0.0.0:8080\"\n", "c.toml");
    ADD_FAILURE() << "a listen address off loopback without token_file was accepted";
  } catch (const ConfigError& e) {
    EXPECT_NE(std::string(e.what()).find("c.toml:2:10: the dashboard's listen address 0.0.0.0:8080"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(DashboardServerTest, APortInUseIsRefusedWithAReason) {
  Serve();
  WebServer second(WebOptions{"127.0.0.1", server_->port(), "", database_}, nullptr);
  try {
    second.Start();
    ADD_FAILURE() << "a second server listened on port " << server_->port();
  } catch (const WebStartError& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(server_->port())), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
  }
}

TEST_F(DashboardServerTest, HostileNamesAreShownAsTextOnEveryPage) {
  Serve();
  for (const char* path : {"/punches?card=1234567", "/punches?card=42", "/terminals/gate-1"}) {
    const auto result = Get(path);
    ASSERT_TRUE(result) << path;
    ASSERT_EQ(result->status, 200) << path;
    const std::string& body = result->body;
    EXPECT_EQ(body.find("<script>alert"), std::string::npos) << path;
    EXPECT_EQ(body.find("<img"), std::string::npos) << path;
    const bool script = std::string(path) != "/punches?card=42";
    const bool image = std::string(path) != "/punches?card=1234567";
    EXPECT_EQ(body.find("&lt;script&gt;alert(1)&lt;/script&gt;") != std::string::npos, script) << path;
    EXPECT_EQ(body.find("&quot;&gt;&lt;img src=x onerror=alert(1)&gt;") != std::string::npos, image)
        << path;
  }
  // A search value goes back into the form escaped too.
  const auto echoed = Get("/punches?name=%22%3E%3Cb%3E");
  ASSERT_TRUE(echoed);
  EXPECT_EQ(echoed->body.find("\"><b>"), std::string::npos);
  EXPECT_NE(echoed->body.find("value=\"&quot;&gt;&lt;b&gt;\""), std::string::npos);
}

TEST_F(DashboardServerTest, BadSearchValuesAre400sNamingTheField) {
  Serve();
  const std::pair<const char*, const char*> cases[] = {
      {"/punches?from=2026-13-01", "from"},     {"/punches?to=2026-02-30", "to"},
      {"/punches?card=12x", "card"},            {"/punches?after=yesterday", "after"},
      {"/api/punches?card=0x123456789", "card"}, {"/api/punches?limit=0", "limit"},
      {"/api/punches?limit=1001", "limit"},     {"/api/collections?limit=ten", "limit"},
      {"/punches.csv?from=11/02/2026", "from"},
  };
  for (const auto& [path, field] : cases) {
    const auto result = Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 400) << path;
    std::string message = result->body;
    if (std::string(path).starts_with("/api/")) {
      message = nlohmann::json::parse(result->body).at("error");
    } else if (std::string(path).starts_with("/punches?")) {
      const size_t at = result->body.find("<p class=\"error\">");
      ASSERT_NE(at, std::string::npos) << path;
      EXPECT_NE(result->body.find("id=\"search\""), std::string::npos) << "the form stays";
      message = result->body.substr(at + 17);
    }
    EXPECT_EQ(message.rfind(std::string(field) + ": ", 0), 0u) << path << " said " << message;
  }
}

TEST_F(DashboardServerTest, PollNowRefusesPostsFromOtherSites) {
  Serve();
  AdminSession();
  const std::string cookie = std::string("tallygate_token=") + kAdminToken;
  struct Case {
    httplib::Headers headers;
    int status;
  };
  const std::vector<Case> cases = {
      {{{"Cookie", cookie}}, 403},
      {{{"Cookie", cookie}, {"Origin", "http://evil.example"}}, 403},
      {{{"Cookie", cookie}, {"Origin", "null"}}, 403},
      {{{"Cookie", cookie}, {"Referer", "http://evil.example/terminals/gate-1"}}, 403},
      {{{"Origin", Origin()}}, 401},
      {{{"Cookie", cookie}, {"Origin", Origin()}}, 303},
      {{{"Cookie", cookie}, {"Referer", Origin() + "/terminals/gate-1"}}, 303},
  };
  size_t allowed = 0;
  for (const Case& c : cases) {
    httplib::Client client("127.0.0.1", server_->port());
    const auto result = client.Post("/terminals/gate-1/poll", c.headers, "csrf=" + csrf_,
                                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    if (c.status == 303) {
      ++allowed;
      EXPECT_EQ(result->get_header_value("Location"), "/terminals/gate-1?polled=1");
    }
  }
  EXPECT_EQ(polled_, std::vector<std::string>(allowed, "gate-1"));
}

TEST_F(DashboardServerTest, TheCsvDownloadIsTheExportsBytesForTheSameFilter) {
  Serve();
  std::unique_ptr<Store> store = OpenStore(database_);
  struct Case {
    const char* query;
    PunchFilter filter;
  };
  PunchFilter days;
  days.from = Day(3, 0);
  days.to = Day(4, 0) + std::chrono::days{1};  // `to` is included
  days.terminal = "gate-1";
  PunchFilter card;
  card.card = 1234567;
  const Case cases[] = {{"", {}},
                        {"from=2026-11-03&to=2026-11-04&terminal=gate-1", days},
                        {"card=0012D687", card}};
  for (const Case& c : cases) {
    std::string expected = ExportHeader(ExportFormat::kCsv);
    size_t rows = 0;
    store->ForEachPunch(c.filter, [&](const PunchRow& row) {
      expected += ExportRow(row, ExportFormat::kCsv);
      ++rows;
    });
    EXPECT_GT(rows, 0u) << c.query;
    const auto result = Get(std::string("/punches.csv?") + c.query);
    ASSERT_TRUE(result) << c.query;
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body.size(), expected.size()) << c.query;
    EXPECT_TRUE(result->body == expected) << c.query;
  }
}

TEST_F(DashboardServerTest, ApiPagesWalkEveryPunchOnceNewestFirst) {
  Serve();
  std::set<std::string> seen;
  std::string previous = "9999";
  std::string after;
  int pages = 0;
  for (;;) {
    const auto result =
        Get("/api/punches?terminal=gate-1&limit=333" + (after.empty() ? "" : "&after=" + after));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200) << result->body;
    const nlohmann::json page = nlohmann::json::parse(result->body);
    ++pages;
    for (const auto& punch : page.at("punches")) {
      const std::string time = punch.at("local_time");
      EXPECT_LE(time, previous);
      previous = time;
      EXPECT_TRUE(seen.insert(time + "/" + punch.at("position").dump()).second) << "twice: " << time;
    }
    if (page.at("next").is_null()) break;
    after = httplib::detail::encode_query_param(page.at("next").get<std::string>());
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kPunches));
  EXPECT_EQ(pages, (kPunches + 332) / 333);
}

TEST_F(DashboardServerTest, PagesSpeakTheBrowsersLanguageAndCarryTheSecurityHeaders) {
  Serve();
  const std::pair<const char*, const char*> languages[] = {
      {"zh-CN,zh;q=0.9,en;q=0.8", "<html lang=\"zh-CN\">"}, {"en-GB,en", "<html lang=\"en\">"}};
  for (const char* path : {"/terminals", "/terminals/gate-1", "/punches", "/login", "/nowhere-else"}) {
    for (const auto& [accept, tag] : languages) {
      const auto result = Get(path, {{"Accept-Language", accept}});
      ASSERT_TRUE(result) << path;
      EXPECT_EQ(result->get_header_value("Content-Security-Policy"),
                "default-src 'self'; frame-ancestors 'none'") << path;
      EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff") << path;
      EXPECT_EQ(result->get_header_value("Referrer-Policy"), "same-origin") << path;
      if (std::string(path) != "/nowhere-else") {  // a 404 has no page
        EXPECT_NE(result->body.find(tag), std::string::npos) << path << " " << accept;
      }
    }
  }
}

// On a database collectors share, the terminals page (in both languages)
// and the API say which collector polls each terminal, by its name or as
// unnamed for a process that gave none; on SQLite there is no such column.
TEST_F(DashboardServerTest, TerminalsSayWhichCollectorPollsThemWhenCollectorsShareTheStore) {
  Serve();
  const auto json_of = [&] {
    std::map<std::string, nlohmann::json> of;
    const auto listed = nlohmann::json::parse(Get("/api/terminals")->body);
    for (const auto& terminal : listed["terminals"]) {
      of[terminal["name"]] = terminal["polled_by"];
    }
    return of;
  };
  EXPECT_EQ(Get("/terminals")->body.find("Polled by"), std::string::npos);
  EXPECT_TRUE(json_of()["gate-1"].is_null());
  if (testing::PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
  testing::PostgresServer postgres;
  database_ = postgres.Uri();
  auto named = OpenStore(database_);
  auto unnamed = OpenStore(database_);
  ASSERT_TRUE(named->JoinCollectors("host-a:4711", "fleet"));
  named->SaveTerminal({"gate-1", "tcp://127.0.0.1:1001", 1, "UTC"});
  unnamed->SaveTerminal({"odd\"name\\", "tcp://127.0.0.1:1002", 1, "UTC"});
  ASSERT_TRUE(named->ClaimTerminal("gate-1"));
  ASSERT_TRUE(unnamed->ClaimTerminal("odd\"name\\"));
  Serve();
  EXPECT_EQ(json_of(), (std::map<std::string, nlohmann::json>{{"gate-1", "host-a:4711"},
                                                              {"odd\"name\\", ""}}));
  for (const auto& [accept, heading, unnamed_text] :
       {std::tuple{"en", "Polled by", "a collector without a name"},
        std::tuple{"zh-CN", "采集服务", "未具名的采集服务"}}) {
    const std::string page = Get("/terminals", {{"Accept-Language", accept}})->body;
    EXPECT_NE(page.find(std::string("<th>") + heading + "</th>"), std::string::npos) << accept;
    EXPECT_NE(page.find("<td>host-a:4711</td>"), std::string::npos) << accept;
    EXPECT_NE(page.find(std::string("<td>") + unnamed_text + "</td>"), std::string::npos) << accept;
  }
}

TEST_F(DashboardServerTest, MetricsCountTheFleetsFailedPolls) {
  Serve();
  CollectorConfig config;
  config.terminals.resize(1);
  config.terminals[0].name = "gone";
  config.terminals[0].endpoint = TcpEndpoint{"127.0.0.1", 9};  // discard: nothing listens
  config.terminals[0].busy_limit = std::chrono::seconds(0);     // refused: unreachable
  const std::unique_ptr<Store> store_opened = OpenStore(database_);
  Store& store = *store_opened;
  Fleet fleet(config, store, &metrics_);
  for (int poll = 0; poll < 2; ++poll) fleet.PollOnce({});
  const PollMetricsSnapshot snapshot = metrics_.Snapshot();
  ASSERT_EQ(snapshot.terminals.count("gone"), 1u);
  EXPECT_EQ(snapshot.terminals.at("gone").errors.at("unreachable"), 2u);
  EXPECT_EQ(snapshot.terminals.at("gone").durations.count, 2u);
  EXPECT_EQ(snapshot.store_errors, 0u);
}

TEST_F(DashboardServerTest, MetricsAreWellFormedPrometheusText) {
  Serve();
  Collection failed;
  failed.terminal = "gate-1";
  failed.outcome = Outcome::kUnreachable;
  metrics_.Record(failed, std::chrono::milliseconds{1500});
  {
    // The other terminal's line is held by another program: busy, not down.
    const std::unique_ptr<Store> store = OpenStore(database_);
    store->SaveTerminal({"odd\"name\\", "tcp://127.0.0.1:1002", 1, "UTC"});
    Collection busy;
    busy.terminal = "odd\"name\\";
    busy.outcome = Outcome::kBusy;
    busy.ended = busy.started;
    store->RecordCollection(busy, std::nullopt);
    PendingCard removal;
    removal.terminal = "gate-1";
    removal.change = CardChange::kRemove;
    removal.reason = "revoked";
    removal.since = UtcTime{std::chrono::seconds{1'790'000'000}};
    removal.card = 42;
    PendingCard other = removal;
    other.card = 1234567;
    store->SetPendingCards("gate-1", std::vector<PendingCard>{removal, other});
    // gate-1's address answers with another terminal's memory: held.
    Collection held;
    held.terminal = "gate-1";
    held.outcome = Outcome::kWrongTerminal;
    held.error = WrongTerminalText("gate-1", "gate-2");
    held.ended = held.started;
    store->RecordCollection(held, std::nullopt);
  }
  const auto page = Get("/terminals", {{"Accept-Language", "zh-CN"}});
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("应答的是 gate-2 的记录（地址变了？）"), std::string::npos)
      << page->body;
  const auto result = Get("/metrics");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  const std::regex sample(
      R"(tallygate_[a-z_]+(\{([a-z_]+="([^"\\\n]|\\.)*",?)+\})? -?[0-9][0-9.e+-]*)");
  std::istringstream lines(result->body);
  std::set<std::string> names;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("# HELP ") || line.starts_with("# TYPE ")) continue;
    EXPECT_TRUE(std::regex_match(line, sample)) << line;
    names.insert(line.substr(0, line.find_first_of("{ ")));
  }
  for (const char* name :
       {"tallygate_terminal_up", "tallygate_terminal_last_success_timestamp_seconds",
        "tallygate_terminal_punches_stored", "tallygate_terminal_records",
        "tallygate_poll_duration_seconds_bucket", "tallygate_poll_duration_seconds_sum",
        "tallygate_poll_duration_seconds_count", "tallygate_poll_errors_total",
        "tallygate_store_errors_total", "tallygate_terminal_busy", "tallygate_cards_pending",
        "tallygate_cards_pending_oldest_seconds"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
  for (const std::string expected :
       {"tallygate_terminal_punches_stored{terminal=\"gate-1\"} 2000",
        "tallygate_poll_duration_seconds_sum{terminal=\"gate-1\"} 1.5",
        "tallygate_poll_errors_total{terminal=\"gate-1\",kind=\"unreachable\"} 1",
        "tallygate_poll_errors_total{terminal=\"odd\\\"name\\\\\",kind=\"partial\"} 0",
        "tallygate_terminal_busy{terminal=\"odd\\\"name\\\\\"} 1",
        "tallygate_terminal_up{terminal=\"odd\\\"name\\\\\"} 1",
        "tallygate_terminal_busy{terminal=\"gate-1\"} 0",
        "tallygate_terminal_wrong_terminal{terminal=\"gate-1\"} 1",
        "tallygate_terminal_wrong_terminal{terminal=\"odd\\\"name\\\\\"} 0",
        "tallygate_cards_pending{terminal=\"gate-1\",change=\"remove\"} 2",
        "tallygate_cards_pending{terminal=\"odd\\\"name\\\\\",change=\"add\"} 0"}) {
    EXPECT_NE(result->body.find(expected + "\n"), std::string::npos) << expected;
  }
  // The age of the oldest only where something is pending.
  EXPECT_NE(result->body.find("tallygate_cards_pending_oldest_seconds{terminal=\"gate-1\"} "),
            std::string::npos);
  EXPECT_EQ(result->body.find("tallygate_cards_pending_oldest_seconds{terminal=\"odd"),
            std::string::npos);
}

TEST_F(DashboardServerTest, AReloadDropsARemovedTerminalsSeriesAndHistogramsAddUp) {
  Serve();
  Attach({"gate-1", "gate-2"});
  OpenStore(database_)->SaveTerminal({"gate-2", "tcp://127.0.0.1:1002", 1, "Asia/Shanghai"});
  // Exact in binary, so that the sum reads back exactly; 0.25 and 1 sit on
  // bucket bounds, which hold them.
  for (const double took : {0.0078125, 0.25, 1.0, 45.0, 1200.0}) {
    for (const char* terminal : {"gate-1", "gate-2"}) {
      Collection poll;
      poll.terminal = terminal;
      poll.outcome = Outcome::kPartial;
      metrics_.Record(poll, std::chrono::duration<double>(took));
    }
  }
  const auto before = Get("/metrics");
  ASSERT_TRUE(before);
  EXPECT_NE(before->body.find("{terminal=\"gate-2\""), std::string::npos);

  Attach({"gate-1"});
  const auto after = Get("/metrics");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->body.find("gate-2"), std::string::npos) << after->body;
  for (const std::string expected : {
           "tallygate_terminal_punches_stored{terminal=\"gate-1\"} 2000",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"0.01\"} 1",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"0.25\"} 2",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"1\"} 3",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"30\"} 3",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"60\"} 4",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"600\"} 4",
           "tallygate_poll_duration_seconds_bucket{terminal=\"gate-1\",le=\"+Inf\"} 5",
           "tallygate_poll_duration_seconds_sum{terminal=\"gate-1\"} 1246.2578125",
           "tallygate_poll_duration_seconds_count{terminal=\"gate-1\"} 5",
           "tallygate_poll_errors_total{terminal=\"gate-1\",kind=\"partial\"} 5",
       }) {
    EXPECT_NE(after->body.find(expected + "\n"), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace tallygate::collector::web
