// What a read of the HR system decides: active employees' holders put as
// the source's, its holders no longer active revoked, hand-added holders
// left alone, every bad record refusing the read, and a mass revocation
// held.
#include <gtest/gtest.h>

#include "collector/holders/holder_plan.h"

namespace tallygate::collector {
namespace {

HolderSourceConfig Source() {
  HolderSourceConfig source;
  source.name = "erp";
  source.card_field = "attendance_device_id";
  source.group_field = "department";
  source.groups = {{"Stores", {"gates", "stores"}}};
  source.default_groups = {"gates"};
  return source;
}

Employee Person(std::string id, std::string card, std::string group = "", bool active = true) {
  Employee employee;
  employee.id = std::move(id);
  employee.card = std::move(card);
  employee.staff = "1" + employee.id.substr(employee.id.size() - 1);
  employee.name = "E" + employee.id;
  employee.group = std::move(group);
  employee.active = active;
  return employee;
}

Cardholder Held(uint32_t card, std::string owner, bool revoked = false) {
  Cardholder holder;
  holder.card = card;
  holder.staff = std::to_string(card);
  holder.name = "H";
  holder.where = {"gates"};
  holder.owner = std::move(owner);
  if (revoked) holder.revoked = UtcTime{};
  return holder;
}

const LocalDay kToday = std::chrono::local_days{std::chrono::year{2026} / 12 / 10};

TEST(HolderPlanTest, EachEmployeeEndsAsTheReadSays) {
  Employee hired = Person("E1", "101", "Stores");
  hired.valid_from = kToday + std::chrono::days(3);
  Employee leaving = Person("E2", "102");
  leaving.valid_until = kToday + std::chrono::days(1);
  Employee started = Person("E6", "106");
  started.valid_from = kToday - std::chrono::days(300);
  const std::vector<Employee> employees = {hired, leaving, Person("E3", "103", "", false),
                                           Person("E4", ""), started};
  const std::vector<Cardholder> holders = {Held(103, "hr:erp"), Held(104, "hr:erp"),
                                           Held(200, ""), Held(105, "hr:other")};
  const HolderPlan plan = PlanHolders(Source(), employees, holders, kToday);
  EXPECT_TRUE(plan.problems.empty());
  ASSERT_EQ(plan.put.size(), 3u);
  EXPECT_EQ(plan.put[0].where, (std::vector<std::string>{"gates", "stores"}));
  EXPECT_EQ(plan.put[0].valid_from, hired.valid_from) << "a joining date ahead opens it then";
  EXPECT_EQ(plan.put[1].valid_until, leaving.valid_until);
  EXPECT_EQ(plan.put[1].where, (std::vector<std::string>{"gates"})) << "the default groups";
  EXPECT_EQ(plan.put[2].valid_from, std::nullopt) << "a joining date passed opens it now";
  EXPECT_EQ(plan.put[0].owner, "hr:erp");
  // Its own holders of a leaver and of someone gone; not the hand-added
  // nor another source's.
  EXPECT_EQ(plan.revoke, (std::vector<uint32_t>{103, 104}));
  EXPECT_EQ(plan.skipped, (std::vector<std::string>{"E4 (EE4): no attendance_device_id"}));
}

TEST(HolderPlanTest, ABadRecordRefusesTheRead) {
  const struct {
    const char* what;
    std::vector<Employee> employees;
    std::vector<Cardholder> holders;
    std::string problem;
  } cases[] = {
      {"two employees with one card", {Person("E1", "101"), Person("E2", "101")}, {},
       "card 101 is both E1 (EE1)'s and E2 (EE2)'s"},
      {"a card that is no card", {Person("E1", "12a")}, {}, "attendance_device_id \"12a\" is no card"},
      {"a card a person added by hand", {Person("E1", "200")}, {Held(200, "")},
       "card 200 of E1 (EE1) is held by a holder added by hand"},
  };
  for (const auto& c : cases) {
    const HolderPlan plan = PlanHolders(Source(), c.employees, c.holders, kToday);
    ASSERT_EQ(plan.problems.size(), 1u) << c.what;
    EXPECT_NE(plan.problems[0].find(c.problem), std::string::npos) << c.what << ": "
                                                                   << plan.problems[0];
  }
  // A revoked hand-added holder's card may go to an employee.
  EXPECT_TRUE(PlanHolders(Source(), std::vector<Employee>{Person("E1", "200")},
                          std::vector<Cardholder>{Held(200, "", true)}, kToday)
                  .problems.empty());
}

TEST(HolderPlanTest, AMassRevocationIsHeld) {
  std::vector<Cardholder> holders;
  for (uint32_t card = 1; card <= 100; ++card) holders.push_back(Held(card, "hr:erp"));
  std::vector<Employee> employees;
  for (int n = 1; n <= 100; ++n) employees.push_back(Person("E" + std::to_string(n), std::to_string(n)));
  const struct {
    int leavers;
    int64_t count;  // max_revoke as a count; 0: the default 5 %
    bool held;
  } cases[] = {{5, 0, false}, {6, 0, true}, {1, 1, false}, {2, 1, true}, {100, 0, true}};
  for (const auto& c : cases) {
    HolderSourceConfig source = Source();
    source.max_revoke_count = c.count;
    std::vector<Employee> read(employees.begin() + c.leavers, employees.end());
    const HolderPlan plan = PlanHolders(source, read, holders, kToday);
    EXPECT_EQ(plan.revoke.size(), static_cast<size_t>(c.leavers));
    EXPECT_EQ(plan.held, c.held) << c.leavers << " leavers, limit " << plan.revoke_limit;
  }
}

}  // namespace
}  // namespace tallygate::collector
