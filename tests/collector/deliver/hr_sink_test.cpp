// An HR sink on both stores, against a fake Frappe HR site: punches of
// employees the site knows are placed and the others kept as refused with
// its answer, without holding up the rest; asked again once the employee is
// mended, they are placed and forgotten; the Shift Type's sync follows what
// is both stored and delivered, never ahead of a punch still waiting.
#include <gtest/gtest.h>

#include <thread>

#include "collector/base/time_text.h"
#include "collector/deliver/erpnext_placer.h"
#include "collector/deliver/hr_sink.h"
#include "fakes/hr/fake_frappe.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/store/store_fixture.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using fakes::FakeFrappe;
using testing::WaitUntil;

class HrSinkTest : public StoreTest {
 protected:
  // Runs the sink on its own thread until the test ends.
  void StartSink(const FakeFrappe& site) {
    DeliverConfig config;
    config.name = "erp";
    config.kind = DeliverConfig::Kind::kErpnext;
    config.hr.site.url = site.url();
    config.batch = 4;
    config.hr.site.api_key = "the-key";
    config.hr.site.api_secret = "the-secret";
    config.hr.employee = HrDeliverConfig::Employee::kCard;
    config.hr.employee_field = "attendance_device_id";
    config.hr.shift_types = {"Day shift"};
    sink_ = std::make_unique<HrSink>(
        config, database_, signal_,
        std::make_unique<ErpnextPlacer>(config, std::vector<SyncTerminal>{{"gate-1", "UTC"}}));
    thread_ = std::jthread([this](std::stop_token stop) { sink_->Run(stop); });
  }
  void TearDown() override {
    thread_ = {};
    StoreTest::TearDown();
  }

  PunchSignal signal_;
  std::unique_ptr<HrSink> sink_;
  std::jthread thread_;
};
INSTANTIATE_TEST_SUITE_P(Stores, HrSinkTest, StoreKinds(), StoreKindName);

TEST_P(HrSinkTest, RefusedPunchesWaitAsideUntilAskedAgain) {
  FakeFrappe site;
  site.AddShiftType("Day shift");
  site.AddEmployee({"HR-EMP-1", {{"attendance_device_id", "5"}}});
  // Cards 5 and 6 in turn, hourly from 08:00; card 6 has no employee yet.
  std::vector<Punch> page;
  for (int i = 0; i < 10; ++i) {
    page.push_back(MakePunch(i, i % 2 == 0 ? 5 : 6, At(2026, 12, 1, 8 + i)));
  }
  store_->StorePage("gate-1", collection_, page, MarkAfter(page.back()));
  // gate-1 polled completely at 20:00 UTC: everything until then is stored.
  store_->RecordAnswer("gate-1", UtcTime{At(2026, 12, 1, 20).time_since_epoch()},
                       UtcTime{At(2026, 12, 1, 20).time_since_epoch()});
  StartSink(site);

  const int64_t last = store_->LastPunchId();
  ASSERT_TRUE(WaitUntil([&] {
    const auto state = store_->LoadSink("erp");
    return state && state->position == last && state->shift_sync == At(2026, 12, 1, 20);
  }, 20s)) << site.ShiftSync("Day shift").value_or("never synced");
  EXPECT_EQ(site.Checkins().size(), 5u);
  const auto refused = store_->Refusals("erp", false, 20);
  ASSERT_EQ(refused.size(), 5u);
  for (const auto& [row, refusal] : refused) {
    EXPECT_EQ(row.punch.card, 6u);
    EXPECT_NE(refusal.reason.find("No Employee found for the given employee field value. "
                                  "'attendance_device_id': 6"),
              std::string::npos)
        << refusal.reason;
  }
  // Refused punches do not hold the sync back: they are the HR system's to mend.
  EXPECT_EQ(site.ShiftSync("Day shift"), "2026-12-01 20:00:00");

  site.AddEmployee({"HR-EMP-2", {{"attendance_device_id", "6"}}});
  EXPECT_EQ(store_->AskAgain("erp", std::nullopt), 5);
  ASSERT_TRUE(WaitUntil([&] { return store_->Refusals("erp", false, 20).empty(); }, 20s));
  EXPECT_EQ(site.Checkins().size(), 10u);
}

TEST_P(HrSinkTest, TheShiftSyncStopsBeforeAPunchStillWaiting) {
  FakeFrappe site;
  site.AddShiftType("Day shift");
  site.AddEmployee({"HR-EMP-1", {{"attendance_device_id", "5"}}});
  std::vector<Punch> page = {MakePunch(0, 5, At(2026, 12, 1, 8))};
  store_->StorePage("gate-1", collection_, page, MarkAfter(page.back()));
  store_->RecordAnswer("gate-1", UtcTime{At(2026, 12, 1, 20).time_since_epoch()},
                       UtcTime{At(2026, 12, 1, 20).time_since_epoch()});
  site.FailAtRandom(1.0, 1);  // every check-in fails: nothing is delivered
  StartSink(site);
  // Everything is stored to 20:00, but the punch swiped at 00:00 UTC waits.
  ASSERT_TRUE(WaitUntil([&] { return site.ShiftSync("Day shift").has_value(); }, 10s));
  EXPECT_EQ(site.ShiftSync("Day shift"), "2026-11-30 23:59:59");
}

}  // namespace
}  // namespace tallygate::collector
