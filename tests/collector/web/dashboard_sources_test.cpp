// The HR source on the Cardholders page: its last read and who keeps each
// holder, in both languages; a held read shown with its revocations, the
// button to confirm it for an admin only, and the confirmation making it;
// a person's change of the HR system's holder refused; /metrics.
#include <gtest/gtest.h>
#include <httplib.h>

#include "collector/holders/holder_source.h"
#include "fakes/hr/fake_frappe.h"
#include "tests/collector/store/store_testing.h"
#include "tests/collector/web/dashboard_fixture.h"

namespace tallygate::collector::web {
namespace {

class DashboardSourcesTest : public DashboardServerTest {
 protected:
  void SetUp() override {
    DashboardServerTest::SetUp();
    for (int n = 1; n <= 3; ++n) {
      site_.AddEmployee({"HR-EMP-" + std::to_string(n),
                         {{"attendance_device_id", std::to_string(100 + n)},
                          {"employee_number", std::to_string(n)},
                          {"employee_name", "E" + std::to_string(n)}}});
    }
    auto& source = config_->holder_sources.emplace_back();
    source.name = "erp";
    source.site.url = site_.url();
    source.site.api_key = "the-key";
    source.site.api_secret = "the-secret";
    source.card_field = "attendance_device_id";
    source.staff_field = "employee_number";
    source.name_field = "employee_name";
    source.default_groups = {"gates"};
    source.max_revoke_count = 1;
    config_->database = database_;
    auto& terminal = config_->terminals.emplace_back();
    terminal.name = "gate-1";
    terminal.groups = {"gates"};
  }

  void Serve() {
    DashboardServerTest::Serve(kToken);
    server_->Attach(config_, nullptr);
  }

  SourceRead Read() {
    const std::unique_ptr<Store> store = OpenStore(database_);
    return RunHolderSource(config_->holder_sources[0], *store, CardTerminals(*config_),
                           std::chrono::local_days{std::chrono::year{2026} / 12 / 10},
                           SourceMode::kRead, {})
        .read;
  }

  httplib::Result Post(const std::string& path, const httplib::Headers& headers,
                       const std::string& body) {
    httplib::Client client("127.0.0.1", server_->port());
    return client.Post(path, headers, body, "application/x-www-form-urlencoded");
  }

  fakes::FakeFrappe site_;
  std::shared_ptr<CollectorConfig> config_ = std::make_shared<CollectorConfig>();
};

TEST_F(DashboardSourcesTest, AHeldReadIsShownAndConfirmedByAnAdminOnly) {
  ASSERT_EQ(Read().outcome, SourceRead::Outcome::kMade);
  site_.SetStatus("HR-EMP-1", "Left");
  site_.SetStatus("HR-EMP-2", "Left");
  ASSERT_EQ(Read().outcome, SourceRead::Outcome::kHeld);
  Serve();
  const httplib::Headers reader = {{"Authorization", std::string("Bearer ") + kToken}};
  const struct {
    const char* language;
    std::vector<std::string> shown;
  } pages[] = {
      {"en", {"Cardholders from the HR system", "held for an admin: nothing changed",
              "erp: the read would revoke 2 holders, more than its limit of 1", ">hr:erp<",
              ">by hand<"}},
      {"zh-CN", {"人事系统同步的持卡人", "等待管理员确认：未作任何更改", "维护方"}},
  };
  const std::unique_ptr<Store> store = OpenStore(database_);
  Cardholder by_hand = MakeHolder(900, "Hand", {"gates"});
  ASSERT_FALSE(store->ChangeCardholders({{by_hand}, {}, false}, "cli", {}).empty());
  for (const auto& page : pages) {
    httplib::Headers headers = reader;
    headers.emplace("Accept-Language", page.language);
    const auto got = Get("/cardholders", headers);
    ASSERT_TRUE(got);
    for (const std::string& text : page.shown) {
      EXPECT_NE(got->body.find(text), std::string::npos) << page.language << ": " << text;
    }
    EXPECT_EQ(got->body.find("confirm-erp"), std::string::npos) << "no button for a reader";
  }

  const httplib::Headers session = AdminSession();
  EXPECT_NE(Get("/cardholders", session)->body.find("id=\"confirm-erp\""), std::string::npos);
  const auto without = Post("/cardholders/sources/erp/confirm", session, "csrf=");
  ASSERT_TRUE(without);
  EXPECT_EQ(without->status, 403);
  EXPECT_EQ(store->SourceReads().at(0).outcome, SourceRead::Outcome::kHeld) << "nothing done";

  // A person cannot change the HR system's holder.
  const auto hand_edit = Post("/cardholders", session,
                              "card=101&staff=1&name=Bob&terminals=gate-1&csrf=" + csrf_);
  ASSERT_TRUE(hand_edit);
  EXPECT_EQ(hand_edit->status, 400);
  EXPECT_NE(hand_edit->body.find("hr:erp"), std::string::npos) << hand_edit->body;

  const auto confirmed = Post("/cardholders/sources/erp/confirm", session, "csrf=" + csrf_);
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->status, 303) << confirmed->body;
  EXPECT_EQ(confirmed->get_header_value("Location"), "/cardholders?confirmed=1");
  for (uint32_t card : {101u, 102u}) EXPECT_TRUE(store->FindCardholder(card)->revoked) << card;
  EXPECT_FALSE(store->FindCardholder(103)->revoked);
  EXPECT_FALSE(store->FindCardholder(900)->revoked);

  const std::string metrics = Get("/metrics", reader)->body;
  for (const char* line : {"tallygate_holders_source_held{source=\"erp\"} 0",
                           "tallygate_holders_source_changes{source=\"erp\",change=\"revoke\"} 2",
                           "tallygate_holders_source_refused{source=\"erp\"} 0"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
  EXPECT_NE(metrics.find("tallygate_holders_source_last_success_timestamp_seconds{source=\"erp\"} 1"),
            std::string::npos);
}

}  // namespace
}  // namespace tallygate::collector::web
