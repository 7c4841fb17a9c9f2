// Punches into a fake Odoo written from its documentation, through JSON-2
// and JSON-RPC alike: attendances paired as Odoo's device integrations pair
// them, a punch placed twice changing nothing, what Odoo refuses kept with
// its message, and a failure of the database stopping or retrying the sink.
#include <gtest/gtest.h>

#include "collector/deliver/odoo_placer.h"
#include "fakes/hr/fake_odoo.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

using fakes::FakeOdoo;
using Verdict = Placement::Verdict;

class OdooPlacerTest : public ::testing::TestWithParam<FakeOdoo::Api> {
 protected:
  OdooPlacerTest() : odoo_(GetParam()) {
    odoo_.AddEmployee({11, "Ann", {{"barcode", "00000001"}}, true});
    odoo_.AddEmployee({12, "Bo", {{"barcode", "00000002"}}, false});  // archived: left
    config_.name = "odoo";
    config_.kind = DeliverConfig::Kind::kOdoo;
    config_.hr.site.url = odoo_.url();
    config_.hr.site.timeout = std::chrono::seconds(5);
    config_.hr.site.api_key = "the-key";
    config_.hr.site.database = "hr";
    config_.hr.employee_field = "barcode";
    if (GetParam() == FakeOdoo::Api::kJsonRpc) {
      config_.hr.site.protocol = HrSite::Protocol::kJsonRpc;
      config_.hr.site.user = "api@example.com";
    }
  }

  // A punch of Ann's at 2026-12-01 HOUR:MINUTE UTC, on a terminal on UTC.
  static PunchRow Row(int64_t id, int hour, int minute = 0, uint8_t flag = 0xFF,
                      std::string staff = "00000001") {
    PunchRow row;
    row.id = id;
    row.terminal = "gate-1";
    row.staff = std::move(staff);
    row.punch = MakePunch(static_cast<int>(id), 500, At(2026, 12, 1, hour, minute));
    row.punch.utc = UtcTime{row.punch.local->time_since_epoch()};
    row.punch.flag = flag;
    return row;
  }

  OdooPlacer Placer() { return OdooPlacer(config_, {{"gate-1", "UTC"}}, std::chrono::hours(4)); }

  std::vector<std::pair<std::string, std::string>> Spans() const {
    std::vector<std::pair<std::string, std::string>> spans;
    for (const auto& a : odoo_.Attendances()) spans.emplace_back(a.check_in, a.check_out);
    return spans;
  }

  FakeOdoo odoo_;
  DeliverConfig config_;
};

TEST_P(OdooPlacerTest, ADayIsItsFirstPunchToItsLastWhateverTheirOrder) {
  OdooPlacer placer = Placer();
  // 09:00, then 17:00, then a late 07:30 (another terminal collected late),
  // then 12:00, then 02:00 the next morning (before the day starts at 04:00).
  const std::vector<PunchRow> rows = {Row(1, 9), Row(2, 17), Row(3, 7, 30), Row(4, 12), Row(5, 2)};
  for (const PunchRow& row : rows) {
    EXPECT_EQ(placer.Place(row, {}).verdict, Verdict::kPlaced) << row.id;
  }
  const auto day = Spans();
  EXPECT_EQ(day, (std::vector<std::pair<std::string, std::string>>{
                     {"2026-12-01 07:30:00", "2026-12-01 17:00:00"},
                     {"2026-12-01 02:00:00", "2026-12-01 02:00:00"}}));
  for (const PunchRow& row : rows) {  // all again, as after a crash
    EXPECT_EQ(placer.Place(row, {}).verdict, Verdict::kPlaced) << row.id;
  }
  EXPECT_EQ(Spans(), day) << "placing again changed Odoo";
}

TEST_P(OdooPlacerTest, InOpensAndOutClosesUnderTheOneOpenRule) {
  config_.hr.in_flags = {1};
  config_.hr.out_flags = {2};
  OdooPlacer placer = Placer();
  const struct {
    PunchRow row;
    Verdict verdict;
  } steps[] = {
      {Row(1, 8, 0, 1), Verdict::kPlaced},     // IN opens
      {Row(2, 8, 5, 1), Verdict::kPlaced},     // IN while open: part of it
      {Row(3, 12, 0, 2), Verdict::kPlaced},    // OUT closes
      {Row(4, 12, 30, 2), Verdict::kRefused},  // OUT with none open
      {Row(5, 13, 0, 1), Verdict::kPlaced},    // IN opens again
      {Row(1, 8, 0, 1), Verdict::kPlaced},     // the first again: found, nothing made
      {Row(3, 12, 0, 2), Verdict::kPlaced},    // its OUT again: found
      {Row(6, 14, 0, 0xFF), Verdict::kRefused},  // a flag in neither list
  };
  for (const auto& step : steps) {
    EXPECT_EQ(placer.Place(step.row, {}).verdict, step.verdict) << "punch " << step.row.id;
  }
  EXPECT_EQ(Spans(), (std::vector<std::pair<std::string, std::string>>{
                         {"2026-12-01 08:00:00", "2026-12-01 12:00:00"},
                         {"2026-12-01 13:00:00", ""}}));
}

TEST_P(OdooPlacerTest, WhatOdooRefusesIsKeptWithItsMessage) {
  // A night shift's attendance made by hand in Odoo, on the day before
  // (the day starts at 04:00) until 06:00: a day begun at 05:00 overlaps it.
  odoo_.AddAttendance({0, 11, "2026-11-30 20:00:00", "2026-12-01 06:00:00"});
  OdooPlacer placer = Placer();
  const struct {
    const char* what;
    PunchRow row;
    int answer_all;
    Verdict verdict;
    std::string reason;
  } cases[] = {
      {"an overlap", Row(1, 5), 0, Verdict::kRefused,
       "HTTP 422: Cannot create new attendance record for employee 11"},
      {"an employee who left", Row(2, 9, 0, 0xFF, "00000002"), 0, Verdict::kRefused,
       "no active employee has barcode = \"00000002\""},
      {"a card without holder", Row(3, 9, 0, 0xFF, ""), 0, Verdict::kRefused, "no holder"},
      {"a failing database", Row(4, 15), 503, Verdict::kRetry, "HTTP 503"},
  };
  for (const auto& c : cases) {
    odoo_.AnswerAll(c.answer_all);
    const Placement placement = placer.Place(c.row, {});
    EXPECT_EQ(placement.verdict, c.verdict) << c.what << ": " << placement.reason;
    EXPECT_NE(placement.reason.find(c.reason), std::string::npos) << c.what << ": "
                                                                  << placement.reason;
  }
  odoo_.AnswerAll(0);
  EXPECT_EQ(odoo_.Attendances().size(), 1u) << "only the one made by hand";
}

TEST_P(OdooPlacerTest, AWrongKeyOrTheOtherApiStopsTheSink) {
  config_.hr.site.api_key = "wrong";
  EXPECT_EQ(Placer().Place(Row(1, 9), {}).verdict, Verdict::kStop);
  config_.hr.site.api_key = "the-key";
  // The other protocol than the database speaks: its error names the right one.
  const bool json2 = GetParam() == FakeOdoo::Api::kJson2;
  config_.hr.site.protocol = json2 ? HrSite::Protocol::kJsonRpc
                              : HrSite::Protocol::kJson2;
  config_.hr.site.user = "api@example.com";
  const Placement placement = Placer().Place(Row(1, 9), {});
  EXPECT_EQ(placement.verdict, Verdict::kStop);
  EXPECT_NE(placement.reason.find(json2 ? "protocol = \"json2\"" : "protocol = \"jsonrpc\""),
            std::string::npos)
      << placement.reason;
  EXPECT_TRUE(odoo_.Attendances().empty());
}

INSTANTIATE_TEST_SUITE_P(Apis, OdooPlacerTest,
                         ::testing::Values(FakeOdoo::Api::kJson2, FakeOdoo::Api::kJsonRpc),
                         [](const ::testing::TestParamInfo<FakeOdoo::Api>& api) {
                           return api.param == FakeOdoo::Api::kJson2 ? "Json2" : "JsonRpc";
                         });

}  // namespace
}  // namespace tallygate::collector
