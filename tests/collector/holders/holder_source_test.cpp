// Reads of a fake Frappe HR site and a fake Odoo into a real store: each
// change in HR ends on the wanted lists as a change by hand would, owned by
// the source; a read that fails, is refused or would revoke too many
// changes nothing; holders added by hand are never touched.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "collector/cards/card_changes.h"
#include "collector/holders/holder_source.h"
#include "collector/store/store.h"
#include "fakes/hr/fake_frappe.h"
#include "fakes/hr/fake_odoo.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using fakes::FakeFrappe;
using fakes::FakeOdoo;
using Outcome = SourceRead::Outcome;

const LocalDay kToday = std::chrono::local_days{std::chrono::year{2026} / 12 / 10};
const std::vector<CardTerminal> kTerminals = {{"gate-1", {"gates"}}, {"store-1", {"stores"}}};

// The holders not revoked: card -> "owner staff where".
std::map<uint32_t, std::string> Kept(CardBook& store) {
  std::map<uint32_t, std::string> kept;
  for (const Cardholder& holder : store.Cardholders()) {
    if (holder.revoked) continue;
    std::string where;
    for (const std::string& each : holder.where) where += (where.empty() ? "" : ",") + each;
    kept[holder.card] = holder.owner + " " + holder.staff + " " + where;
  }
  return kept;
}

class HolderSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = OpenStore("sqlite:" + (dir_ / "punches.db").string());
    for (int n = 1; n <= 6; ++n) {
      const std::string id = "HR-EMP-" + std::to_string(n);
      site_.AddEmployee({id,
                         {{"attendance_device_id", n == 6 ? "" : std::to_string(100 + n)},
                          {"employee_number", std::to_string(n)},
                          {"employee_name", "E" + std::to_string(n)},
                          {"department", n % 2 ? "Stores" : "Office"}}});
    }
    source_.name = "erp";
    source_.site = {site_.url(), "", std::chrono::seconds(5), "the-key", "the-secret", "",
                    HrSite::Protocol::kJson2, ""};
    source_.card_field = "attendance_device_id";
    source_.staff_field = "employee_number";
    source_.name_field = "employee_name";
    source_.group_field = "department";
    source_.groups = {{"Stores", {"gates", "stores"}}};
    source_.default_groups = {"gates"};
    source_.valid_until_field = "relieving_date";
    source_.max_revoke_count = 1;
    source_.page_size = 2;
    Cardholder by_hand;
    by_hand.card = 900;
    by_hand.staff = "900";
    by_hand.where = {"gates"};
    ASSERT_FALSE(MakeCardholderChanges(*store_, kTerminals, {{by_hand}, {}, false}, "cli", {})
                     .refused());
  }

  SourceRun Read(SourceMode mode = SourceMode::kRead) {
    return RunHolderSource(source_, *store_, kTerminals, kToday, mode, {});
  }

  testing::TempDir dir_;
  FakeFrappe site_;
  HolderSourceConfig source_;
  std::unique_ptr<Store> store_;
};

TEST_F(HolderSourceTest, EachChangeInHrEndsOnTheListsAndNothingElse) {
  const SourceRun first = Read();
  ASSERT_EQ(first.read.outcome, Outcome::kMade) << ::testing::PrintToString(first.read.problems);
  EXPECT_EQ(first.read.added, 5);
  EXPECT_EQ(first.read.skipped, (std::vector<std::string>{"HR-EMP-6 (E6): no attendance_device_id"}));
  for (const CardAudit& audit : store_->CardAudits(std::nullopt, 10)) {
    EXPECT_EQ(audit.by, audit.card == 900 ? "cli" : "hr:erp") << audit.card;
  }
  EXPECT_EQ(Kept(*store_)[101], "hr:erp 1 gates,stores");
  EXPECT_EQ(Kept(*store_)[102], "hr:erp 2 gates");

  const struct Step {
    const char* what;
    std::function<void(FakeFrappe&)> change;
    Outcome outcome;
    int64_t added, changed, revoked;
    std::map<uint32_t, std::string> differs;  // from the lists before; "" gone
  } steps[] = {
      {"a new hire",
       [](FakeFrappe& site) {
         site.AddEmployee({"HR-EMP-7", {{"attendance_device_id", "107"}, {"employee_number", "7"}}});
       },
       Outcome::kMade, 1, 0, 0, {{107, "hr:erp 7 gates"}}},
      {"a card change", [](FakeFrappe& site) { site.SetField("HR-EMP-1", "attendance_device_id", "111"); },
       Outcome::kMade, 1, 0, 1, {{101, ""}, {111, "hr:erp 1 gates,stores"}}},
      {"a department change moves groups",
       [](FakeFrappe& site) { site.SetField("HR-EMP-2", "department", "Stores"); }, Outcome::kMade,
       0, 1, 0, {{102, "hr:erp 2 gates,stores"}}},
      {"a leaver with a relieving date",
       [](FakeFrappe& site) {
         site.SetField("HR-EMP-3", "relieving_date", "2026-12-01");
         site.SetStatus("HR-EMP-3", "Left");
       },
       Outcome::kMade, 0, 0, 1, {{103, ""}}},
      {"a leaver without one", [](FakeFrappe& site) { site.SetStatus("HR-EMP-4", "Left"); },
       Outcome::kMade, 0, 0, 1, {{104, ""}}},
      {"two employees with one card", [](FakeFrappe& site) { site.SetField("HR-EMP-5", "attendance_device_id", "102"); },
       Outcome::kRefused, 0, 0, 0, {}},
      {"a hand-added card given to an employee",
       [](FakeFrappe& site) { site.SetField("HR-EMP-5", "attendance_device_id", "900"); },
       Outcome::kRefused, 0, 0, 0, {}},
      {"a failed page",
       [](FakeFrappe& site) {
         site.SetField("HR-EMP-5", "attendance_device_id", "105");
         site.SetStatus("HR-EMP-2", "Left");
         site.FailAtRandom(1.0, 5);
       },
       Outcome::kFailed, 0, 0, 0, {}},
      {"the site back", [](FakeFrappe& site) { site.FailAtRandom(0, 5); }, Outcome::kMade, 0, 0, 1,
       {{102, ""}}},
  };
  for (const Step& step : steps) {
    std::map<uint32_t, std::string> expected = Kept(*store_);
    for (const auto& [card, kept] : step.differs) {
      if (kept.empty()) {
        expected.erase(card);
      } else {
        expected[card] = kept;
      }
    }
    step.change(site_);
    const SourceRead read = Read().read;
    EXPECT_EQ(read.outcome, step.outcome) << step.what << ": " << ::testing::PrintToString(read.problems);
    EXPECT_EQ((std::vector<int64_t>{read.added, read.changed, read.revoked}),
              (std::vector<int64_t>{step.added, step.changed, step.revoked}))
        << step.what;
    EXPECT_EQ(Kept(*store_), expected) << step.what;
    EXPECT_EQ(store_->SourceReads().at(0).outcome, step.outcome) << step.what << ": kept";
  }
  EXPECT_EQ(Kept(*store_)[900], " 900 gates") << "the holder added by hand";
}

TEST_F(HolderSourceTest, AMassRevocationIsHeldUntilAnAdminConfirmsIt) {
  ASSERT_EQ(Read().read.outcome, Outcome::kMade);
  const std::map<uint32_t, std::string> before = Kept(*store_);
  EXPECT_THROW(Read(SourceMode::kConfirm), InputError) << "nothing held yet";
  for (const char* id : {"HR-EMP-1", "HR-EMP-2", "HR-EMP-3"}) site_.SetStatus(id, "Left");

  const SourceRead held = Read().read;
  EXPECT_EQ(held.outcome, Outcome::kHeld);
  ASSERT_EQ(held.held.size(), 3u);
  EXPECT_EQ(held.held[0], (HeldRevocation{101, "1", "E1"}));
  EXPECT_EQ(Kept(*store_), before) << "held: nothing changed";
  const SourceRun plan = Read(SourceMode::kPlan);
  EXPECT_EQ(plan.read.outcome, Outcome::kHeld);
  EXPECT_EQ(plan.changes.size(), 3u) << "the plan lists the revocations it holds";
  EXPECT_EQ(Kept(*store_), before) << "a plan changes nothing";

  // HR changed meanwhile: the admin confirms a list they have not seen.
  site_.SetStatus("HR-EMP-4", "Left");
  EXPECT_THROW(Read(SourceMode::kConfirm), InputError);
  EXPECT_EQ(Kept(*store_), before);
  EXPECT_EQ(store_->SourceReads().at(0).held.size(), 4u) << "the new list is held in its place";

  const SourceRead confirmed = Read(SourceMode::kConfirm).read;
  EXPECT_EQ(confirmed.outcome, Outcome::kMade);
  EXPECT_EQ(confirmed.revoked, 4);
  EXPECT_EQ(Kept(*store_), (std::map<uint32_t, std::string>{{105, "hr:erp 5 gates,stores"},
                                                           {900, " 900 gates"}}));
}

TEST(HolderSourceOdooTest, ArchivedEmployeesAreRevokedOverBothProtocols) {
  for (const auto api : {FakeOdoo::Api::kJson2, FakeOdoo::Api::kJsonRpc}) {
    testing::TempDir dir;
    const std::unique_ptr<Store> store = OpenStore("sqlite:" + (dir / "punches.db").string());
    FakeOdoo odoo(api);
    for (int n = 1; n <= 5; ++n) {
      odoo.AddEmployee({n, "Bo " + std::to_string(n),
                        {{"barcode", std::to_string(200 + n)}, {"pin", std::to_string(n)}}});
    }
    HolderSourceConfig source;
    source.name = "odoo";
    source.kind = HolderSourceConfig::Kind::kOdoo;
    source.site = {odoo.url(), "", std::chrono::seconds(5), "the-key", "", "hr",
                   api == FakeOdoo::Api::kJson2 ? HrSite::Protocol::kJson2 : HrSite::Protocol::kJsonRpc,
                   "api@example.com"};
    source.card_field = "barcode";
    source.staff_field = "pin";
    source.name_field = "name";
    source.default_groups = {"gates"};
    source.page_size = 2;
    EXPECT_EQ(RunHolderSource(source, *store, kTerminals, kToday, SourceMode::kRead, {}).read.added, 5);
    odoo.SetActive(3, false);
    const SourceRead read = RunHolderSource(source, *store, kTerminals, kToday, SourceMode::kRead, {}).read;
    EXPECT_EQ(read.revoked, 1);
    EXPECT_EQ(Kept(*store).count(203), 0u);
    EXPECT_EQ(Kept(*store)[201], "hr:odoo 1 gates");
  }
}

}  // namespace
}  // namespace tallygate::collector
