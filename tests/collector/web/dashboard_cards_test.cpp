// The cardholders through the dashboard: who may change them (and that a
// refused write changes nothing), the API's 400s naming the field, and
// where a card stands on each terminal as the pages, the API and
// `cards show` say it, in the service from the moment of each change.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/web/dashboard_fixture.h"
#include "tests/support/free_port.h"

namespace tallygate::collector::web {
namespace {

constexpr const char* kHolder =
    R"({"card": "0x00ABCDEF", "staff": "101", "name": "张三", "terminals": ["gate-1"]})";

class DashboardCardsTest : public DashboardServerTest {
 protected:
  httplib::Result Send(const std::string& method, const std::string& path,
                       const httplib::Headers& headers, const std::string& body,
                       const char* type = "application/json") {
    httplib::Client client("127.0.0.1", server_->port());
    if (method == "DELETE") return client.Delete(path, headers, body, type);
    return client.Post(path, headers, body, type);
  }

  size_t Holders() { return OpenStore(database_)->Cardholders().size(); }
};

TEST_F(DashboardCardsTest, OnlyAnAdminWrites) {
  Serve(kToken);
  const httplib::Headers session = AdminSession();
  const std::string admin_cookie = std::string("tallygate_token=") + kAdminToken;
  struct Case {
    const char* what;
    std::string path;
    httplib::Headers headers;
    std::string body;
    int status;
  };
  const std::string form = std::string("card=11&staff=1&name=Ann&terminals=gate-1&csrf=");
  const std::vector<Case> cases = {
      {"no token", "/api/cardholders", {}, kHolder, 401},
      {"the read token", "/api/cardholders", {{"Authorization", std::string("Bearer ") + kToken}}, kHolder, 403},
      {"a wrong token", "/api/cardholders", {{"Authorization", "Bearer guess"}}, kHolder, 403},
      {"another site's page", "/cardholders", {{"Cookie", admin_cookie}, {"Origin", "http://evil.example"}},
       form + csrf_, 403},
      {"no form token", "/cardholders", session, form, 403},
      {"another session's form token", "/cardholders", session, form + std::string(64, 'a'), 403},
      {"the read token's session", "/cardholders",
       {{"Cookie", "tallygate_token=s3cret%20token"}, {"Origin", Origin()}}, form + csrf_, 403},
  };
  for (const Case& c : cases) {
    const bool json = c.path.starts_with("/api/");
    const auto result =
        Send("POST", c.path, c.headers, c.body, json ? "application/json" : "application/x-www-form-urlencoded");
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(result->status, c.status) << c.what;
    EXPECT_EQ(Holders(), 0u) << c.what;
  }
  const auto bearer = Send("POST", "/api/cardholders",
                           {{"Authorization", std::string("Bearer ") + kAdminToken}}, kHolder);
  ASSERT_TRUE(bearer);
  EXPECT_EQ(bearer->status, 200) << bearer->body;
  const auto browser = Send("POST", "/cardholders", session, form + csrf_,
                            "application/x-www-form-urlencoded");
  ASSERT_TRUE(browser);
  EXPECT_EQ(browser->status, 303);
  EXPECT_EQ(browser->get_header_value("Location"), "/cardholders/11?saved=1");
  const std::vector<CardAudit> audits = OpenStore(database_)->CardAudits(std::nullopt, 10);
  ASSERT_EQ(audits.size(), 2u);
  EXPECT_EQ(audits[0].by, "web:alice");
}

TEST_F(DashboardCardsTest, WithoutAdminTokensTheDashboardOnlyReads) {
  admins_.clear();
  Serve();
  const auto result = Send("POST", "/api/cardholders", {{"Authorization", "Bearer anything"}}, kHolder);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 403);
  EXPECT_NE(result->body.find("admin_token_file"), std::string::npos) << result->body;
  EXPECT_EQ(Holders(), 0u);
}

TEST_F(DashboardCardsTest, TheApiRefusesBadInputNamingTheField) {
  Serve();
  const httplib::Headers admin = {{"Authorization", std::string("Bearer ") + kAdminToken}};
  const std::pair<std::string, const char*> cases[] = {
      {"not json", "body"},
      {R"({"card": "12x", "staff": "1", "terminals": "*"})", "card"},
      {R"({"card": 1, "staff": "12a", "terminals": "*"})", "staff"},
      {R"({"card": 1, "terminals": "*"})", "staff"},
      {R"({"card": 1, "staff": "1", "terminals": "gate-9"})", "terminals"},
      {R"({"card": 1, "staff": "1", "terminals": [1]})", "terminals"},
      {R"({"card": 1, "staff": "1", "terminals": "*", "name": "张三李四王五"})", "name"},
      {R"({"card": 1, "staff": "1", "terminals": "*", "valid_from": "2026-13-01"})", "valid_from"},
      {R"({"card": 1, "staff": "1", "terminals": "*", "valid_from": "2026-02-01",
           "valid_until": "2026-01-31"})", "valid_until"},
      {R"({"card": 1, "staff": "1", "terminals": "*", "colour": "red"})", "colour"},
  };
  for (const auto& [body, field] : cases) {
    const auto result = Send("POST", "/api/cardholders", admin, body);
    ASSERT_TRUE(result) << body;
    EXPECT_EQ(result->status, 400) << body;
    const nlohmann::json answer = nlohmann::json::parse(result->body);
    EXPECT_EQ(answer.value("field", ""), field) << body << " said " << result->body;
    EXPECT_FALSE(answer.value("error", "").empty()) << body;
  }
  const auto csv = Send("POST", "/api/cardholders/import?merge=1", admin,
                        "card,staff,name,terminals\n1,1,Ann,gate-1\n2x,2,Bo,gate-1\n3,3,Cy,nowhere\n",
                        "text/csv");
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->status, 400);
  const nlohmann::json problems = nlohmann::json::parse(csv->body).at("problems");
  ASSERT_EQ(problems.size(), 2u) << csv->body;
  EXPECT_TRUE(problems[0].get<std::string>().starts_with("3: ")) << problems;
  EXPECT_TRUE(problems[1].get<std::string>().starts_with("4: ")) << problems;
  EXPECT_EQ(Holders(), 0u);
}

TEST_F(DashboardCardsTest, EveryDoorTrimsNamesAndStaffNumbersAndRefusesControlCharacters) {
  Serve();
  const httplib::Headers session = AdminSession();
  const httplib::Headers admin = {{"Authorization", std::string("Bearer ") + kAdminToken}};
  httplib::Headers chinese = session;
  chinese.emplace("Accept-Language", "zh-CN");
  const std::string form = "&terminals=gate-1&csrf=" + csrf_;
  struct Case {
    const char* door;  // "json", "form", "csv"
    std::string body;
    uint32_t card;
    std::string kept;  // "STAFF/NAME" as stored, or empty: refused
    std::string said;  // in the refusal
    httplib::Headers headers = {};
  };
  const Case cases[] = {
      {"json", R"({"card": 21, "staff": " 21 ", "name": " Ann ", "terminals": "gate-1"})", 21, "21/Ann", ""},
      {"form", "card=22&staff=%2022%20&name=%20Bo%20Li%20" + form, 22, "22/Bo Li", ""},
      {"csv", "card,staff,name,terminals\n23, 23 , Cy ,gate-1\n", 23, "23/Cy", ""},
      {"json", R"({"card": 24, "staff": "24", "name": "A\u0000", "terminals": "gate-1"})", 24, "",
       R"("field":"name")"},
      {"json", R"({"card": 25, "staff": "25\t", "name": "Di", "terminals": "gate-1"})", 25, "",
       R"("field":"staff")"},
      {"json", R"({"card": 26, "staff": "26", "name": "\u0085Ed", "terminals": "gate-1"})", 26, "",
       "name: has a control character (U+0085)"},
      {"form", "card=27&staff=27&name=Ann%0ALee" + form, 27, "", "name: has a control character (U+000A)"},
      {"form", "card=28&staff=28&name=A%00" + form, 28, "", "name：含有控制字符（U+0000）", chinese},
      {"csv", "card,staff,name,terminals\n29,29,Fay,gate-1\n30,30,\"G\x01\",gate-1\n", 30, "",
       R"(3: name \"G\\u0001\" has a control character (U+0001))"},
  };
  for (const Case& c : cases) {
    const std::string door = c.door;
    httplib::Headers headers = c.headers.empty() ? (door == "form" ? session : admin) : c.headers;
    const auto result =
        door == "json"  ? Send("POST", "/api/cardholders", headers, c.body)
        : door == "csv" ? Send("POST", "/api/cardholders/import?merge=1", headers, c.body, "text/csv")
                        : Send("POST", "/cardholders", headers, c.body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(result) << c.body;
    const std::optional<Cardholder> kept = OpenStore(database_)->FindCardholder(c.card);
    if (c.kept.empty()) {
      EXPECT_EQ(result->status, 400) << c.body;
      EXPECT_NE(result->body.find(c.said), std::string::npos) << c.body << " said " << result->body;
      EXPECT_FALSE(kept) << c.body;
    } else {
      EXPECT_LT(result->status, 400) << c.body << " said " << result->body;
      ASSERT_TRUE(kept) << c.body;
      EXPECT_EQ(kept->staff + "/" + kept->name, c.kept) << c.body;
    }
  }
}

TEST_F(DashboardCardsTest, ARevokedCardWithARemovalPendingIsPendingNotInPlace) {
  Serve();
  {
    const std::unique_ptr<Store> store = OpenStore(database_);
    Cardholder holder{0xABCDEF, "101", "张三", std::nullopt, std::nullopt, {"gate-1"}, std::nullopt};
    const UtcTime when{std::chrono::seconds{1'790'000'000}};
    store->ChangeCardholders({{holder}, {}, false}, "cli", when);
    store->ChangeCardholders({{}, {holder.card}, false}, "cli", when);
    PendingCard removal;
    removal.terminal = "gate-1";
    removal.card = holder.card;
    removal.change = CardChange::kRemove;
    removal.reason = "revoked";
    removal.since = when;
    store->SetPendingCards("gate-1", std::vector<PendingCard>{removal});
  }
  const auto page = Get("/cardholders/0x00ABCDEF");
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("<span id=\"holder-name\">张三</span>"), std::string::npos);
  EXPECT_NE(page->body.find("data-terminal=\"gate-1\" data-state=\"pending\""), std::string::npos);
  EXPECT_EQ(page->body.find("in place"), std::string::npos);
  EXPECT_NE(page->body.find("may still open"), std::string::npos);
  const auto api = Get("/api/cardholders?q=张");
  ASSERT_TRUE(api);
  const nlohmann::json holders = nlohmann::json::parse(api->body).at("cardholders");
  ASSERT_EQ(holders.size(), 1u) << api->body;
  EXPECT_EQ(holders[0]["terminals"],
            nlohmann::json::parse(R"([{"terminal": "gate-1", "state": "pending", "change": "remove",
                "reason": "revoked", "since": "2026-09-21T14:13:20Z", "error": "", "tried": null}])"));
  const auto terminal = Get("/terminals/gate-1");
  ASSERT_TRUE(terminal);
  EXPECT_NE(terminal->body.find("<tr data-card=\"11259375\" data-change=\"remove\">"), std::string::npos);
}

// The service with a terminal that answers when the simulator is started
// ("gate") and one never reached ("far"), both in the card's group.
TEST(CardPlacesServiceTest, ARevokedCardIsListedWhereverItMayStillBe) {
  using namespace std::chrono_literals;
  if (!testing::SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  testing::SimProcess sim({"--tcp-port", "0", "--quiet", "--cards", "0"});
  testing::TempDir dir;
  const std::string database = "sqlite:" + (dir / "punches.db").string();
  const std::filesystem::path admins = dir / "admins";
  const std::string token = "facilities-admin-token";  // the service takes 16 characters or more
  std::ofstream(admins) << "alice " << token << "\n";
  std::filesystem::permissions(admins, std::filesystem::perms::owner_read);
  const int port = testing::FreePort();
  const std::string config = (dir / "collector.toml").string();
  std::ofstream(config) << "database = \"" << database << "\"\npoll_interval = 1\nbusy_limit = 0\n"
                        << "[http]\nlisten = \"127.0.0.1:" << port << "\"\nadmin_token_file = \""
                        << admins.string()
                        << "\"\n[[terminal]]\nname = \"gate\"\ntcp = \"127.0.0.1:" << sim.tcp_port()
                        << "\"\ngroups = [\"gates\"]\n[[terminal]]\nname = \"far\"\n"
                        << "tcp = \"127.0.0.1:9\"\ngroups = [\"gates\"]\n";
  testing::Collector service(config, "run", (dir / "run.log").string());
  const std::unique_ptr<Store> store = OpenStore(database);
  ASSERT_TRUE(testing::WaitUntil([&] { return store->Cards("gate").collected.has_value(); }, 60s))
      << service.Log();

  httplib::Client client("127.0.0.1", port);
  const httplib::Headers admin = {{"Authorization", "Bearer " + token}};
  const std::string path = "/cardholders/0xC0FFEE";
  // Each terminal as "gate pending", as the API, the page and `cards show`
  // say it.
  const auto found = [](const std::string& text, const char* pattern) {
    std::vector<std::string> places;
    const std::regex place(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), place), end; it != end; ++it) {
      places.push_back((*it)[1].str() + " " + (*it)[2].str());
    }
    return places;
  };
  const auto api = [&] {
    const auto got = client.Get("/api" + path);
    return found(got ? got->body : "", R"re("terminal":"([^"]+)","state":"([^"]+)")re");
  };
  const auto agree = [&](const std::vector<std::string>& places, const char* when) {
    EXPECT_EQ(api(), places) << when;
    const auto page = client.Get(path);
    ASSERT_TRUE(page) << when;
    EXPECT_EQ(found(page->body, R"re(data-terminal="([^"]+)" data-state="([^"]+)")re"), places)
        << when;
    testing::Collector show(config, std::vector<std::string>{"cards", "show", "0xC0FFEE"},
                            (dir / "show.log").string());
    ASSERT_EQ(show.WaitForExit(30s), 0) << show.Log();
    EXPECT_EQ(found(show.Log(), "\n  (\\S+): (in place|pending|failed|outside dates|unknown)"),
              places)
        << when << "\n"
        << show.Log();
  };

  sim.Control("stop");
  const auto added =
      client.Post("/api/cardholders", admin,
                  R"({"card": "0xC0FFEE", "staff": "7", "name": "Ann", "terminals": "gates"})",
                  "application/json");
  ASSERT_TRUE(added && added->status == 200) << (added ? added->body : service.Log());
  agree({"gate pending", "far unknown"}, "added, before any enrolment");
  sim.Control("start");
  EXPECT_TRUE(testing::WaitUntil(
      [&] {
        return api() == std::vector<std::string>{"gate in place", "far unknown"};
      },
      60s))
      << service.Log();

  sim.Control("stop");
  const auto revoked = client.Delete("/api" + path, admin);
  ASSERT_TRUE(revoked && revoked->status == 200) << (revoked ? revoked->body : service.Log());
  agree({"gate pending", "far unknown"}, "right after the revocation");
  sim.Control("start");
  EXPECT_TRUE(
      testing::WaitUntil([&] { return api() == std::vector<std::string>{"far unknown"}; }, 60s))
      << service.Log();
  agree({"far unknown"}, "once gate's list lacks it");
}

}  // namespace
}  // namespace tallygate::collector::web
