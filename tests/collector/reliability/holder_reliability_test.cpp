// Cardholders kept from a fake Frappe HR site whatever happens: a third of
// its requests failing, the collector killed with SIGKILL at random
// moments, employees hired, moved, given new cards and leaving all the
// while. Throughout, no terminal holds a card outside its groups; at the
// end every terminal holds exactly the active employees' cards of its
// groups and the holders added by hand.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

#include "fakes/hr/fake_frappe.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/terminal_cards.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using fakes::FakeFrappe;
using testing::Collector;
using testing::SimCards;
using testing::SimProcess;
using testing::TempDir;
using testing::WaitUntil;
using namespace std::chrono_literals;

constexpr int kTerminals = 6;
// Terminals 1-2 are the gates, 3-4 the stores, 5-6 the office.
const char* GroupOf(int k) { return k <= 2 ? "gates" : k <= 4 ? "stores" : "office"; }
// Departments and the groups they open.
const std::map<std::string, std::set<std::string>> kDepartments = {
    {"Stores", {"stores", "gates"}}, {"Office", {"office"}}, {"", {"gates"}}};
constexpr uint32_t kByHand = 0xB00001;  // added by hand on the office

struct Person {
  std::string card;
  std::string department;
  bool active = true;
};

TEST(HolderReliabilityTest, TerminalsEndWithTheActiveEmployeesAndNeverACardOutsideItsGroups) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  TempDir dir;
  SimProcess fleet({"--tcp-terminals", std::to_string(kTerminals), "--tcp-port", "0", "--records",
                    "5", "--cards", "0", "--seed", "43", "--quiet"});
  FakeFrappe site;
  std::map<std::string, Person> people;  // by employee id
  std::mt19937 random(4301);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const std::vector<std::string> departments = {"Stores", "Office", ""};
  uint32_t next_card = 0xA00001;
  int next_id = 1;
  std::set<uint32_t> ever[kTerminals + 1];  // every card that ever belonged on each terminal
  const auto note = [&](const Person& person) {
    for (int k = 1; k <= kTerminals; ++k) {
      if (kDepartments.at(person.department).contains(GroupOf(k))) {
        ever[k].insert(static_cast<uint32_t>(std::stoul(person.card)));
      }
    }
  };
  const auto hire = [&] {
    const std::string id = "HR-EMP-" + std::to_string(next_id++);
    Person person{std::to_string(next_card++), departments[static_cast<size_t>(pick(3))]};
    note(person);
    people[id] = person;
    site.AddEmployee({id,
                      {{"attendance_device_id", person.card},
                       {"employee_number", std::to_string(next_id)},
                       {"employee_name", "P" + std::to_string(next_id)},
                       {"department", person.department}}});
  };
  for (int i = 0; i < 8; ++i) hire();

  const std::string key = (dir / "key").string();
  std::ofstream(key) << "the-key\n";
  std::ofstream(dir / "secret") << "the-secret\n";
  const std::string config = (dir / "collector.toml").string();
  {
    std::ofstream text(config);
    text << "database = \"sqlite:" << (dir / "punches.db").string() << "\"\npoll_interval = 10\n";
    for (int k = 1; k <= kTerminals; ++k) {
      text << "[[terminal]]\nname = \"t" << k << "\"\ntcp = \"127.0.0.1:"
           << fleet.tcp_ports()[static_cast<size_t>(k - 1)] << "\"\ngroups = [\"" << GroupOf(k)
           << "\"]\n";
    }
    text << "[[holders_from]]\nname = \"erp\"\nkind = \"erpnext\"\nurl = \"" << site.url()
         << "\"\napi_key_file = \"" << key << "\"\napi_secret_file = \"" << (dir / "secret").string()
         << "\"\ntimeout = 5\nevery = 10\npage_size = 3\ngroup_field = \"department\"\n"
            "groups = { Stores = [\"stores\", \"gates\"], Office = [\"office\"] }\n"
            "default_groups = [\"gates\"]\nmax_revoke = 100\n";
  }
  Collector add(config, {"cards", "add", std::to_string(kByHand), "--staff", "9", "--name", "Hand",
                         "--terminals", "office"},
                (dir / "add.log").string());
  ASSERT_EQ(add.WaitForExit(30s), 0) << add.Log();
  for (int k = 5; k <= 6; ++k) ever[k].insert(kByHand);
  site.FailAtRandom(0.33, 4302);

  const auto sample = [&] {
    for (int k = 1; k <= kTerminals; ++k) {
      const std::optional<std::set<uint32_t>> held = SimCards(fleet, k);
      if (!held) continue;
      for (uint32_t card : *held) {
        EXPECT_TRUE(ever[k].contains(card)) << "t" << k << " holds card " << card
                                            << ", never of its groups";
      }
    }
  };
  std::optional<Collector> collector;
  int runs = 0;
  const auto start = [&] {
    collector.emplace(config, std::vector<std::string>{"--log-level", "debug", "run"},
                      (dir / ("run" + std::to_string(++runs) + ".log")).string());
  };
  start();
  for (int step = 1; step <= 16 && !HasFatalFailure(); ++step) {
    const int what = pick(100);
    auto chosen = people.begin();
    std::advance(chosen, pick(static_cast<int>(people.size())));
    Person& person = chosen->second;
    if (what < 25) {
      hire();
    } else if (what < 45 && person.active) {  // leaves
      person.active = false;
      site.SetStatus(chosen->first, "Left");
    } else if (what < 70) {  // moves to another department
      person.department = departments[static_cast<size_t>(pick(3))];
      note(person);
      site.SetField(chosen->first, "department", person.department);
    } else {  // a new card
      person.card = std::to_string(next_card++);
      note(person);
      site.SetField(chosen->first, "attendance_device_id", person.card);
    }
    if (step % 5 == 3) {  // killed amid a read or the card work after it
      std::this_thread::sleep_for(std::chrono::milliseconds(pick(2000)));
      collector->Signal(SIGKILL);
      ASSERT_EQ(collector->WaitForExit(10s), -1) << "the collector ended before it was killed";
      start();
    } else {
      collector->Signal(SIGHUP);  // read again now
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500 + pick(1500)));
    sample();
  }

  site.FailAtRandom(0, 4303);
  collector->Signal(SIGHUP);
  std::map<int, std::set<uint32_t>> expected;
  for (int k = 1; k <= kTerminals; ++k) {
    for (const auto& [id, person] : people) {
      if (person.active && kDepartments.at(person.department).contains(GroupOf(k))) {
        expected[k].insert(static_cast<uint32_t>(std::stoul(person.card)));
      }
    }
    if (k >= 5) expected[k].insert(kByHand);
  }
  std::map<int, std::set<uint32_t>> last;
  const bool settled = WaitUntil(
                           [&] {
                             for (int k = 1; k <= kTerminals; ++k) {
                               last[k] = SimCards(fleet, k).value_or(std::set<uint32_t>{});
                             }
                             return last == expected;
                           },
                           120s)
                           .has_value();
  for (int k = 1; k <= kTerminals; ++k) {
    EXPECT_EQ(last[k], expected[k]) << "t" << k << (settled ? "" : " (never settled)");
  }
  sample();
  std::printf("%d runs of the collector, %zu employees, %lld requests to the HR site\n", runs,
              people.size(), static_cast<long long>(site.requests()));
}

}  // namespace
}  // namespace tallygate::collector
