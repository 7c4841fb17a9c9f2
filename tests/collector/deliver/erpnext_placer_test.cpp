// Punches into a fake Frappe HR site written from its documentation: the
// check-in method found where the site keeps it, each punch ending as the
// site's answer says (a duplicate is placed, a missing or former employee
// refuses the punch, a failure of the site stops or retries the sink), and
// the Shift Types' sync never ahead of a terminal that is behind.
#include <gtest/gtest.h>

#include "collector/base/time_zone.h"
#include "collector/deliver/erpnext_placer.h"
#include "fakes/hr/fake_frappe.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

using fakes::FakeFrappe;
using Verdict = Placement::Verdict;

DeliverConfig ErpnextConfig(const std::string& url) {
  DeliverConfig config;
  config.name = "erp";
  config.kind = DeliverConfig::Kind::kErpnext;
  config.hr.site.url = url;
  config.hr.site.timeout = std::chrono::seconds(5);
  config.hr.site.api_key = "the-key";
  config.hr.site.api_secret = "the-secret";
  config.hr.employee_field = "attendance_device_id";
  return config;
}

PunchRow Row(int64_t id, std::string staff, uint8_t flag = 1, int minute = 0) {
  PunchRow row;
  row.id = id;
  row.terminal = "gate-1";
  row.staff = std::move(staff);
  row.punch = MakePunch(static_cast<int>(id), 1000 + static_cast<uint32_t>(id),
                        At(2026, 12, 1, 8, minute));
  row.punch.flag = flag;
  return row;
}

TEST(ErpnextPlacerTest, FindsTheCheckinMethodWhereTheSiteKeepsIt) {
  const struct {
    FakeFrappe::Home home;
    FakeFrappe::MissingMethod missing;
    int64_t first_requests;  // for the first punch: the paths tried
  } cases[] = {
      {FakeFrappe::Home::kHrms, FakeFrappe::MissingMethod::k404, 1},
      {FakeFrappe::Home::kErpnext, FakeFrappe::MissingMethod::k404, 2},
      {FakeFrappe::Home::kErpnext, FakeFrappe::MissingMethod::k417, 2},
  };
  for (const auto& c : cases) {
    FakeFrappe site(c.home, c.missing);
    site.AddEmployee({"HR-EMP-1", {{"attendance_device_id", "00000001"}}});
    ErpnextPlacer placer(ErpnextConfig(site.url()), {});
    EXPECT_EQ(placer.Place(Row(1, "00000001"), {}).verdict, Verdict::kPlaced);
    EXPECT_EQ(site.requests(), c.first_requests);
    EXPECT_EQ(placer.Place(Row(2, "00000001", 1, 5), {}).verdict, Verdict::kPlaced);
    EXPECT_EQ(site.requests(), c.first_requests + 1) << "the path found is kept";
    ASSERT_EQ(site.Checkins().size(), 2u);
    EXPECT_EQ(site.Checkins()[0].time, "2026-12-01 08:00:00");
    EXPECT_EQ(site.Checkins()[0].device_id, "gate-1");
  }
}

TEST(ErpnextPlacerTest, EachPunchEndsAsTheSiteAnswers) {
  const struct {
    const char* what;
    std::string staff;
    int answer_all;  // the site's answer to every request (0: its own)
    Verdict verdict;
    std::string reason;  // a part of it
  } cases[] = {
      {"an employee", "00000001", 0, Verdict::kPlaced, ""},
      {"no such employee", "00000099", 0, Verdict::kRefused,
       "HTTP 417: No Employee found for the given employee field value."
       " 'attendance_device_id': 00000099"},
      {"an employee who left", "00000002", 0, Verdict::kRefused,
       "Transactions cannot be created for an Inactive Employee HR-EMP-2."},
      {"a card without holder", "", 0, Verdict::kRefused, "has no holder with a staff number"},
      {"a wrong key", "00000001", 401, Verdict::kStop, "HTTP 401"},
      {"a forbidden user", "00000001", 403, Verdict::kStop, "api_secret_file"},
      {"a failing site", "00000001", 503, Verdict::kRetry, "HTTP 503"},
      {"a proxy's failure", "00000001", 502, Verdict::kRetry, "HTTP 502"},
  };
  for (const auto& c : cases) {
    FakeFrappe site;
    site.AddEmployee({"HR-EMP-1", {{"attendance_device_id", "00000001"}}});
    site.AddEmployee({"HR-EMP-2", {{"attendance_device_id", "00000002"}}, "Left"});
    site.AnswerAll(c.answer_all);
    ErpnextPlacer placer(ErpnextConfig(site.url()), {});
    const Placement placement = placer.Place(Row(1, c.staff), {});
    EXPECT_EQ(placement.verdict, c.verdict) << c.what << ": " << placement.reason;
    EXPECT_NE(placement.reason.find(c.reason), std::string::npos) << c.what << ": "
                                                                  << placement.reason;
    EXPECT_EQ(site.Checkins().size(), c.verdict == Verdict::kPlaced ? 1u : 0u) << c.what;
  }
}

TEST(ErpnextPlacerTest, APunchPlacedTwiceIsOneCheckinWithItsLogType) {
  FakeFrappe site;
  site.AddEmployee({"HR-EMP-1", {{"attendance_device_id", "00000001"}}});
  DeliverConfig config = ErpnextConfig(site.url());
  config.hr.in_flags = {1};
  config.hr.out_flags = {2};
  ErpnextPlacer placer(config, {});
  for (int time = 0; time < 2; ++time) {  // the second as after a crash
    EXPECT_EQ(placer.Place(Row(1, "00000001", 1, 0), {}).verdict, Verdict::kPlaced);
    EXPECT_EQ(placer.Place(Row(2, "00000001", 2, 30), {}).verdict, Verdict::kPlaced);
    EXPECT_EQ(placer.Place(Row(3, "00000001", 0xFF, 45), {}).verdict, Verdict::kPlaced);
  }
  const auto checkins = site.Checkins();
  ASSERT_EQ(checkins.size(), 3u);
  EXPECT_EQ(checkins[0].log_type, "IN");
  EXPECT_EQ(checkins[1].log_type, "OUT");
  EXPECT_EQ(checkins[2].log_type, "") << "a flag in neither list sends none";
}

TEST(ErpnextPlacerTest, ASiteThatIsNotThereIsTriedAgain) {
  ErpnextPlacer placer(ErpnextConfig("http://127.0.0.1:1"), {});
  const Placement placement = placer.Place(Row(1, "00000001"), {});
  EXPECT_EQ(placement.verdict, Verdict::kRetry);
  EXPECT_NE(placement.reason.find("no answer"), std::string::npos) << placement.reason;
}

TEST(ShiftSyncTest, TheSyncWaitsForTheTerminalFurthestBehind) {
  const UtcTime t0{std::chrono::sys_days{std::chrono::year{2026} / 12 / 1}};
  const auto state = [](const std::string& name, std::optional<UtcTime> complete_to) {
    TerminalState s;
    s.info.name = name;
    s.complete_to = complete_to;
    return s;
  };
  const std::vector<SyncTerminal> two = {{"gate-1", "UTC"}, {"gate-2", "Asia/Shanghai"}};
  using std::chrono::hours;
  const struct {
    const char* what;
    std::vector<SyncTerminal> terminals;
    std::vector<TerminalState> states;
    std::vector<std::pair<std::string, UtcTime>> undelivered;
    std::optional<LocalTime> time;
    std::string held_by;
  } cases[] = {
      {"both stored and delivered, on their own clocks", two,
       {state("gate-1", t0 + hours(10)), state("gate-2", t0 + hours(1))}, {},
       LocalTime{(t0 + hours(1) + hours(8)).time_since_epoch()}, "gate-2"},
      {"a terminal never polled", two, {state("gate-1", t0 + hours(10)), state("gate-2", {})},
       {}, std::nullopt, "gate-2"},
      {"a terminal not in the store", two, {state("gate-1", t0 + hours(10))}, {}, std::nullopt,
       "gate-2"},
      {"a punch waiting to be delivered", {{"gate-1", "UTC"}},
       {state("gate-1", t0 + hours(10))}, {{"gate-1", t0 + hours(7)}},
       LocalTime{(t0 + hours(7) - std::chrono::seconds(1)).time_since_epoch()}, "gate-1"},
      {"another terminal's punch waits", {{"gate-1", "UTC"}},
       {state("gate-1", t0 + hours(10))}, {{"gate-2", t0 + hours(7)}},
       LocalTime{(t0 + hours(10)).time_since_epoch()}, "gate-1"},
  };
  for (const auto& c : cases) {
    const ShiftSync sync = ShiftSyncTime(c.terminals, c.states, c.undelivered);
    EXPECT_EQ(sync.time, c.time) << c.what;
    EXPECT_EQ(sync.held_by, c.held_by) << c.what;
  }
}

}  // namespace
}  // namespace tallygate::collector
