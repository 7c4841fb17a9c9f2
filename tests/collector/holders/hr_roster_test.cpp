// Every employee read from a fake Frappe HR site and a fake Odoo, written
// from their documentation, page by page; a page that fails is no read.
#include <gtest/gtest.h>

#include "collector/holders/hr_roster.h"
#include "fakes/hr/fake_frappe.h"
#include "fakes/hr/fake_odoo.h"

namespace tallygate::collector {
namespace {

using fakes::FakeFrappe;
using fakes::FakeOdoo;

HolderSourceConfig ErpSource(const std::string& url) {
  HolderSourceConfig source;
  source.name = "erp";
  source.site = {url, "", std::chrono::seconds(5), "the-key", "the-secret", "",
                 HrSite::Protocol::kJson2, ""};
  source.card_field = "attendance_device_id";
  source.staff_field = "employee_number";
  source.name_field = "employee_name";
  source.group_field = "department";
  source.valid_until_field = "relieving_date";
  source.page_size = 3;
  return source;
}

TEST(HrRosterTest, ErpnextEmployeesAreReadWholeAcrossPages) {
  FakeFrappe site;
  for (int n = 1; n <= 7; ++n) {
    site.AddEmployee({"HR-EMP-" + std::to_string(n),
                      {{"attendance_device_id", std::to_string(100 + n)},
                       {"employee_number", std::to_string(n)},
                       {"employee_name", "Ann " + std::to_string(n)},
                       {"department", n % 2 ? "Stores" : "Office"},
                       {"relieving_date", n == 7 ? "2026-12-31" : ""}},
                      n == 4 ? "Left" : "Active"});
  }
  const std::vector<Employee> roster = ReadRoster(ErpSource(site.url()), {});
  ASSERT_EQ(roster.size(), 7u);
  EXPECT_EQ(roster[0].card, "101");
  EXPECT_EQ(roster[0].group, "Stores");
  EXPECT_FALSE(roster[3].active) << "Left";
  EXPECT_EQ(roster[6].valid_until, std::chrono::local_days{std::chrono::year{2026} / 12 / 31});
  EXPECT_EQ(roster[5].valid_until, std::nullopt) << "an empty relieving date";

  site.FailAtRandom(1.0, 3);  // every page fails
  EXPECT_THROW(ReadRoster(ErpSource(site.url()), {}), RosterError);
}

TEST(HrRosterTest, OdooEmployeesAreReadWithTheArchivedOnes) {
  for (const auto api : {FakeOdoo::Api::kJson2, FakeOdoo::Api::kJsonRpc}) {
    FakeOdoo odoo(api);
    for (int n = 1; n <= 5; ++n) {
      odoo.AddEmployee({n, "Bo " + std::to_string(n),
                        {{"barcode", std::to_string(200 + n)}, {"identification_id", "7"}},
                        n != 2});
    }
    HolderSourceConfig source;
    source.name = "odoo";
    source.kind = HolderSourceConfig::Kind::kOdoo;
    source.site = {odoo.url(), "", std::chrono::seconds(5), "the-key", "", "hr",
                   api == FakeOdoo::Api::kJson2 ? HrSite::Protocol::kJson2
                                                : HrSite::Protocol::kJsonRpc,
                   "api@example.com"};
    source.card_field = "barcode";
    source.staff_field = "identification_id";
    source.name_field = "name";
    source.page_size = 2;
    const std::vector<Employee> roster = ReadRoster(source, {});
    ASSERT_EQ(roster.size(), 5u);
    EXPECT_EQ(roster[1].card, "202");
    EXPECT_FALSE(roster[1].active) << "archived";
    EXPECT_TRUE(roster[0].active);
    odoo.AnswerAll(503);
    EXPECT_THROW(ReadRoster(source, {}), RosterError);
  }
}

}  // namespace
}  // namespace tallygate::collector
