// The collector's promise, tested whole: whatever happens (injected faults,
// punches arriving, terminals cleared by the collector, the store failing
// for a while, the collector killed at random moments), the database ends up
// holding exactly every record the terminals ever held, none missing, none
// twice, and no terminal is cleared while the store cannot commit.
//
// The simulated fleet keeps every record each terminal ever held
// (dump-history); the store is a real SQLite file or a real PostgreSQL
// server started by the test.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>


#include <algorithm>
#include <fstream>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "collector/store/store.h"
#include "collector/poll/fleet.h"
#include "collector/store/postgres_session.h"
#include "sim/client/sim_process.h"
#include "tests/collector/each_store.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/held_records.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::Clock;
using testing::Collector;
using testing::PostgresServer;
using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

constexpr int kTerminals = 20;

std::string Name(int k) { return "t" + std::to_string(k); }

// A terminal of a test and where its simulator keeps its records.
struct Simulated {
  std::string name;
  SimProcess* sim;
  std::string target;  // "#K" in a fleet, the address on a bus
};

// The fleet's terminals t1 to tN.
std::vector<Simulated> FleetTerminals(SimProcess& fleet, int terminals) {
  std::vector<Simulated> list;
  for (int k = 1; k <= terminals; ++k) list.push_back({Name(k), &fleet, "#" + std::to_string(k)});
  return list;
}

// Checks the store against the simulators' history, terminal by terminal.
void ExpectExactlyEverything(Store& store, const std::vector<Simulated>& terminals) {
  std::map<std::string, std::map<PunchBytes, int>> stored;
  store.ForEachPunch({}, [&](const PunchRow& row) { ++stored[row.terminal][row.punch.bytes]; });
  size_t total = 0;
  for (const Simulated& terminal : terminals) {
    const std::set<PunchBytes> held = testing::EverHeld(*terminal.sim, terminal.target);
    const auto& mine = stored[terminal.name];
    size_t missing = 0;
    for (const PunchBytes& bytes : held) missing += mine.count(bytes) ? 0 : 1;
    size_t twice = 0, foreign = 0;
    for (const auto& [bytes, times] : mine) {
      twice += times > 1 ? 1 : 0;
      foreign += held.count(bytes) ? 0 : 1;
    }
    EXPECT_EQ(missing, 0u) << terminal.name << " holds " << held.size();
    EXPECT_EQ(twice, 0u) << terminal.name;
    EXPECT_EQ(foreign, 0u) << terminal.name;
    total += held.size();
  }
  std::printf("%zu punches of %zu terminals, each stored once\n", total, terminals.size());
}

// Polls until a round is complete (at most `rounds`), then checks the store
// against the simulators' history.
void CatchUpThenExpectEverything(Fleet& collector, Store& store,
                                 const std::vector<Simulated>& terminals, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    if (OnceStatus(collector.PollOnce({})) == 0) break;
  }
  ExpectExactlyEverything(store, terminals);
}

// A TCP terminal of the fleet, quick to give up on a missing record.
TerminalConfig TcpTerminal(int k, int port) {
  TerminalConfig terminal;
  terminal.name = Name(k);
  terminal.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(port)};
  terminal.time_zone = "Asia/Shanghai";
  terminal.poll_interval = 1s;
  terminal.unit_wait = 200ms;
  terminal.card_list = k % 4 == 0;
  return terminal;
}

class FleetReliabilityTest : public testing::EachStoreTest {
 protected:
  FleetReliabilityTest() : EachStoreTest("punches.db") {}
};

// 20 terminals, 5 % of replies dropped, punches arriving, half of the
// terminals cleared by the collector above 250 records, 200 polls; in the
// middle the store fails for three rounds (PostgreSQL stopped, or SQLite's
// disk full).
TEST_P(FleetReliabilityTest, FaultsArrivalsClearsAndAnOutageLoseNothing) {
  const bool postgres = GetParam() == testing::StoreKind::kPostgres;
  std::string folder;
  if (!postgres) {
    // SQLite on a file system of its own that the test fills and then grows.
    folder = (dir_ / "small").string();
    std::filesystem::create_directory(folder);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a small file system to fill; needs root";
    }
    database_ = "sqlite:" + folder + "/punches.db";
  }
  SimProcess fleet({"--tcp-terminals", std::to_string(kTerminals), "--tcp-port", "0", "--records",
                    "200", "--cards", "20", "--seed", "11", "--fault", "any:5%:drop", "--quiet"});
  CollectorConfig config;
  config.tcp_parallel = 8;
  for (int k = 1; k <= kTerminals; ++k) {
    config.terminals.push_back(TcpTerminal(k, fleet.tcp_ports()[static_cast<size_t>(k - 1)]));
    // Terminals the collector clears get their punches between polls only:
    // a punch in the moment between the last count and the clear is the one
    // loss no protocol can prevent.
    if (k % 2 == 0) config.terminals.back().clear_above = 250;
  }
  const std::unique_ptr<Store> store_opened = OpenStore(database_);
  Store& store = *store_opened;
  Fleet collector(config, store);

  int cleared = 0;
  for (int round = 1; round <= 10; ++round) {
    for (int k = 1; k <= kTerminals; ++k) {
      const std::string target = "#" + std::to_string(k);
      ASSERT_EQ(fleet.Control("add-records " + std::to_string(10 + k) + " " + target).rfind("ok", 0),
                0u);
    }
    const bool outage = round >= 4 && round <= 6;
    if (round == 4 && postgres) server_->Stop();
    if (round == 7 && postgres) server_->Start();
    if (round == 7 && !postgres) {
      ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT, "size=64m"), 0);
    }
    for (const Collection& collection : collector.PollOnce({})) {
      if (collection.outcome == Outcome::kCleared) ++cleared;
      if (outage && postgres) {
        EXPECT_NE(collection.outcome, Outcome::kCleared) << "cleared while the store was down";
      }
    }
  }
  EXPECT_GT(cleared, 0) << "the clearing path was not exercised";

  // The terminals stop changing; the collector catches up.
  ASSERT_EQ(fleet.Control("clear-faults").rfind("ok", 0), 0u);
  CatchUpThenExpectEverything(collector, store, FleetTerminals(fleet, kTerminals), 5);
}

// The collector killed with SIGKILL at 20 random moments while it collects
// (the terminals answer at 19200 bit/s, so a page takes seconds), and
// started again each time.
TEST_P(FleetReliabilityTest, KilledAtRandomMomentsLosesNothing) {
  constexpr int kFleet = 4;
  SimProcess fleet({"--tcp-terminals", std::to_string(kFleet), "--tcp-port", "0", "--records",
                    "600", "--punch-rate", "3", "--wire-speed", "--seed", "5", "--quiet"});
  const std::string config_path = (dir_ / "collector.toml").string();
  {
    std::ofstream config(config_path);
    config << "database = \"" << database_ << "\"\npoll_interval = 1\n";
    for (int k = 1; k <= kFleet; ++k) {
      config << "[[terminal]]\nname = \"" << Name(k) << "\"\ntcp = \"127.0.0.1:"
             << fleet.tcp_ports()[static_cast<size_t>(k - 1)]
             << "\"\ntime_zone = \"Asia/Shanghai\"\ncard_list = false\n";
    }
  }
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> moment_ms(300, 4500);
  for (int kill_number = 0; kill_number < 20; ++kill_number) {
    Collector killed(config_path, "run", (dir_ / "collector.log").string());
    std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(random)));
    killed.Signal(SIGKILL);
    ASSERT_EQ(killed.WaitForExit(10s), -1) << "the collector ended before it was killed";
  }
  // Punches stop; one last run brings the store up to date.
  ASSERT_EQ(fleet.Control("punch-rate 0").rfind("ok", 0), 0u);
  CollectorConfig config = LoadConfig(config_path);
  for (TerminalConfig& terminal : config.terminals) terminal.unit_wait = 500ms;
  const std::unique_ptr<Store> store_opened = OpenStore(database_);
  Store& store = *store_opened;
  int64_t stored_by_killed_runs = 0;
  store.ForEachPunch({}, [&](const PunchRow&) { ++stored_by_killed_runs; });
  // A page takes 2.3 s at 19200 bit/s and a restarted run fetches the page of
  // its last stored record again (to compare it), so most runs die mid-page;
  // some committed pages all the same.
  EXPECT_GE(stored_by_killed_runs, kFleet * 256) << "no killed run committed a page";
  Fleet collector(config, store);
  CatchUpThenExpectEverything(collector, store, FleetTerminals(fleet, kFleet), 3);
}

// PostgreSQL frozen (its processes stopped) at the start of a round in
// which every clearing terminal is over its limit: the round ends within the
// store's limit, nothing is cleared until the server runs again, and then
// the store catches up with exactly every record.
TEST(FrozenStoreReliabilityTest, NoClearWhileFrozenAndNothingLostOrTwiceAfter) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  if (PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
  constexpr int kFleet = 12;
  PostgresServer server;
  // Not quiet: each frame is logged, so the test sees when a terminal is cleared.
  SimProcess fleet({"--tcp-terminals", std::to_string(kFleet), "--tcp-port", "0", "--records",
                    "200", "--seed", "23"});
  CollectorConfig config;
  config.tcp_parallel = 4;
  for (int k = 1; k <= kFleet; ++k) {
    config.terminals.push_back(
        TcpTerminal(k, fleet.tcp_ports()[static_cast<size_t>(k - 1)]));
    if (k % 2 == 0) config.terminals.back().clear_above = 300;
  }
  const std::unique_ptr<Store> store_opened = OpenStore(server.Uri());
  Store& store = *store_opened;
  Fleet collector(config, store);
  const auto clears_since = [&](size_t line) {
    const std::vector<std::string> lines = fleet.Lines();
    return std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(std::min(line, lines.size())),
                         lines.end(), [](const std::string& text) {
                           return text.find("ClearRecord ->") != std::string::npos;
                         });
  };
  const auto add_records = [&](int base) {
    for (int k = 1; k <= kFleet; ++k) {
      ASSERT_EQ(fleet.Control("add-records " + std::to_string(base + k) + " #" +
                              std::to_string(k)).rfind("ok", 0), 0u);
    }
  };

  for (int round = 1; round <= 8; ++round) {
    add_records(round == 4 ? 120 : 10);  // round 4: every clearing terminal over its limit
    if (round != 4) {
      collector.PollOnce({});
      continue;
    }
    auto polled = std::async(std::launch::async, [&] { return collector.PollOnce({}); });
    std::this_thread::sleep_for(20ms);  // the first store calls are on their way
    server.Freeze();
    const auto frozen = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s);  // a clear proven just before is done by now
    const size_t lines_at_freeze = fleet.Lines().size();
    const bool ended = polled.wait_for(kAnswerWait + 10s) == std::future_status::ready;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - frozen).count();
    const long clears_while_frozen = clears_since(lines_at_freeze);
    server.Thaw();
    ASSERT_TRUE(ended) << "a poll waited for the frozen store beyond its limit";
    int failed = 0;
    for (const Collection& collection : polled.get()) {
      failed += collection.outcome == Outcome::kStoreFailed ? 1 : 0;
    }
    std::printf("the round frozen at its start ended after %.1f s, %d of %d polls failing on the "
                "store\n", took, failed, kFleet);
    EXPECT_GT(failed, 0) << "the freeze came too late to be felt";
    EXPECT_EQ(clears_while_frozen, 0) << "a terminal was cleared while the store was frozen";
    // Calls fail at once for a while after a timeout; then the store answers.
    bool answers = false;
    for (int i = 0; i < 40 && !answers; ++i, std::this_thread::sleep_for(250ms)) {
      try {
        store.Check();
        answers = true;
      } catch (const StoreError&) {
      }
    }
    ASSERT_TRUE(answers) << "the store did not answer again once the server ran";
  }
  EXPECT_GT(clears_since(0), 0) << "the clearing path was not exercised";

  CatchUpThenExpectEverything(collector, store, FleetTerminals(fleet, kFleet), 5);
}

// Collectors with the same fleet (60 TCP terminals and a serial bus of 3,
// punches arriving all along) on one PostgreSQL database share it evenly:
// one alone, a second and a third joining, one killed, then started again.
// After each change every terminal is polled by one of those alive, each
// carrying 61/N units (the bus one) within 10 %, the bus whole, and then
// nothing moves; no line is used by two at once (the other would find it
// busy); a `once` run meanwhile counts the others' terminals as collected;
// `status` names the collector of each; and the store ends up holding
// every record exactly once.
TEST(CollectorShareTest, CollectorsJoiningDyingAndComingBackShareTheFleetEvenlyAndLoseNothing) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  if (PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
  constexpr int kFleet = 60;
  constexpr int kUnits = kFleet + 1;
  constexpr auto kInterval = 2s;
  PostgresServer server;
  TempDir dir;
  SimProcess fleet({"--tcp-terminals", std::to_string(kFleet), "--tcp-port", "0", "--records",
                    "100", "--punch-rate", "0.5", "--seed", "29", "--quiet"});
  // Seeded past the fleet's 29 to 88: a bus terminal seeded as a TCP one
  // would hold the same records, and be taken, rightly, for that terminal.
  SimProcess bus({"--pty", "--address", "1", "--address", "2", "--address", "3", "--records",
                  "100", "--punch-rate", "0.5", "--seed", "131", "--quiet"});
  std::vector<Simulated> terminals = FleetTerminals(fleet, kFleet);
  for (const char* address : {"1", "2", "3"}) {
    terminals.push_back({std::string("bus-") + address, &bus, address});
  }
  const std::string config = (dir / "collector.toml").string();
  {
    std::ofstream text(config);
    text << "database = \"" << server.Uri() << "\"\npoll_interval = 2\n";
    for (int k = 1; k <= kFleet; ++k) {
      text << "[[terminal]]\nname = \"" << Name(k) << "\"\ntcp = \"127.0.0.1:"
           << fleet.tcp_ports()[static_cast<size_t>(k - 1)] << "\"\ncard_list = false\n";
      if (k % 6 == 0) text << "clear_above = 110\n";
    }
    for (int k = 1; k <= 3; ++k) {
      text << "[[terminal]]\nname = \"bus-" << k << "\"\nserial = \"" << bus.pty_path()
           << "\"\naddress = " << k << "\ncard_list = false\n";
    }
  }
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const auto name = [&](const Collector& collector) {
    return std::string(host) + ":" + std::to_string(collector.pid());
  };
  // Who polls each terminal, as the store says.
  using Holders = std::map<std::string, std::string>;  // by terminal
  const std::unique_ptr<Store> observer_opened = OpenStore(server.Uri());
  Store& observer = *observer_opened;
  const auto holders = [&] {
    Holders of;
    for (const TerminalState& state : observer.States()) {
      of[state.info.name] = state.polled_by.value_or("none");
    }
    return of;
  };
  // Units by collector: the bus is counted by its first terminal.
  const auto counts = [](const Holders& of) {
    std::map<std::string, int> by;
    for (const auto& [terminal, holder] : of) {
      if (terminal != "bus-2" && terminal != "bus-3") ++by[holder];
    }
    return by;
  };
  // Every unit polled by one of `alive`, each within 10 % of its share, the
  // bus by one collector.
  const auto even = [&](Holders of, const std::vector<const Collector*>& alive) {
    if (of["bus-1"] != of["bus-2"] || of["bus-1"] != of["bus-3"]) return false;
    const std::map<std::string, int> by = counts(of);
    const double share = double{kUnits} / static_cast<double>(alive.size());
    int carried = 0;
    for (const Collector* collector : alive) {
      const auto found = by.find(name(*collector));
      if (found == by.end() || std::abs(found->second - share) > 0.1 * share) return false;
      carried += found->second;
    }
    return carried == kUnits;
  };
  // Even, and at rest: nothing moves for two poll intervals while punches
  // come and the terminals are polled (claims that swing never are).
  const auto settle = [&](const char* what, const std::vector<const Collector*>& alive,
                          Clock::time_point since) {
    Holders last = holders();
    Clock::time_point moved = since;
    const auto rest = testing::WaitUntil(
        [&] {
          Holders now = holders();
          if (now != last) {
            last = std::move(now);
            moved = Clock::now();
          }
          return even(last, alive) && Clock::now() - moved >= 2 * kInterval;
        },
        90s);
    std::string seen = " (the bus: " + last["bus-1"] + ")";
    for (const auto& [who, count] : counts(last)) seen += " " + who + "=" + std::to_string(count);
    if (!rest) return ::testing::AssertionFailure() << what << ": never even and at rest:" << seen;
    std::printf("%s: settled %.1f poll intervals later:%s\n", what,
                testing::Seconds(moved - since) / testing::Seconds(kInterval), seen.c_str());
    return ::testing::AssertionSuccess();
  };

  const std::vector<std::string> run = {"--log-level", "debug", "run"};
  std::optional<Collector> a, b, c;
  auto start = Clock::now();
  a.emplace(config, run, (dir / "a.log").string());
  ASSERT_TRUE(settle("one alone", {&*a}, start));
  start = Clock::now();
  b.emplace(config, run, (dir / "b.log").string());
  ASSERT_TRUE(settle("a second joins", {&*a, &*b}, start));
  Collector once(config, "once", (dir / "once.log").string());
  EXPECT_EQ(once.WaitForExit(60s), 0) << once.Log();

  start = Clock::now();
  c.emplace(config, run, (dir / "c.log").string());
  ASSERT_TRUE(settle("a third joins", {&*a, &*b, &*c}, start));

  a->Signal(SIGKILL);
  start = Clock::now();
  ASSERT_EQ(a->WaitForExit(10s), -1);
  ASSERT_TRUE(settle("one is killed", {&*b, &*c}, start));

  start = Clock::now();
  a.emplace(config, run, (dir / "a-again.log").string());
  ASSERT_TRUE(settle("it starts again", {&*a, &*b, &*c}, start));

  Collector status(config, std::vector<std::string>{"status", "--json"},
                   (dir / "status.json").string());
  ASSERT_EQ(status.WaitForExit(30s), 0) << status.Log();
  Holders shown;
  for (const auto& terminal : nlohmann::json::parse(status.Log())) {
    const nlohmann::json& by = terminal["polled_by"];
    shown[terminal["terminal"]] = by.is_null() ? "none" : by.get<std::string>();
  }
  EXPECT_EQ(shown, holders()) << "status and the store disagree";
  std::map<std::string, int> rows;  // by collector
  for (const auto& [terminal, collector] : shown) ++rows[collector];
  Collector table(config, "status", (dir / "status.txt").string());
  ASSERT_EQ(table.WaitForExit(30s), 0) << table.Log();
  const std::string text = table.Log();
  EXPECT_NE(text.find("POLLED BY"), std::string::npos) << text;
  for (const auto& [collector, count] : rows) {
    int found = 0;
    for (size_t at = text.find("  " + collector + "  "); at != std::string::npos;
         at = text.find("  " + collector + "  ", at + 1)) {
      ++found;
    }
    EXPECT_EQ(found, count) << collector << "\n" << text;
  }

  for (std::optional<Collector>* collector : {&a, &b, &c}) {
    const std::string log = (*collector)->Log();
    // A poll that found its terminal serving another connection, or failed.
    EXPECT_EQ(log.find(": busy:"), std::string::npos) << log;
    EXPECT_EQ(log.find("\nwarning"), std::string::npos) << log;
    EXPECT_EQ(log.find("\nerror"), std::string::npos) << log;
  }
  // The longest a terminal went between two polls that stored punches (a
  // punch comes every 2 s or so), or since the last one: a terminal left
  // unpolled after a hand-over would go on and on.
  int64_t longest = 0;
  const UtcTime now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  std::map<std::string, UtcTime> later;  // by terminal, newest first
  for (const Simulated& terminal : terminals) later[terminal.name] = now;
  for (const Collection& collection : observer.Collections("", 1'000'000)) {
    longest = std::max<int64_t>(longest, (later[collection.terminal] - collection.started).count());
    later[collection.terminal] = collection.started;
  }
  std::printf("the longest a terminal went unpolled: %lld s\n", static_cast<long long>(longest));
  EXPECT_LE(longest, 15) << "a terminal went unpolled for " << longest << " s";
  for (SimProcess* sim : {&fleet, &bus}) ASSERT_EQ(sim->Control("punch-rate 0").rfind("ok", 0), 0u);
  for (std::optional<Collector>* collector : {&a, &b, &c}) (*collector)->Signal(SIGTERM);
  for (std::optional<Collector>* collector : {&a, &b, &c}) {
    EXPECT_EQ((*collector)->WaitForExit(20s), 0);
  }

  CollectorConfig last_config = LoadConfig(config);
  const std::unique_ptr<Store> store_opened = OpenStore(server.Uri());
  Store& store = *store_opened;
  Fleet collector(last_config, store);
  CatchUpThenExpectEverything(collector, store, terminals, 3);
}

TALLYGATE_ON_EACH_STORE(FleetReliabilityTest);

}  // namespace
}  // namespace tallygate::collector
