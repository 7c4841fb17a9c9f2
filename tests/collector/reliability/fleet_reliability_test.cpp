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
#include <random>
#include <set>

#include "collector/poll/fleet.h"
#include "collector/poll/serialized_store.h"
#include "collector/store/postgres_session.h"
#include "sim/client/sim_process.h"
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

enum class Kind { kSqlite, kPostgres };

std::string Name(int k) { return "t" + std::to_string(k); }

// Every record terminal #k ever held, as identity bytes.
std::set<PunchBytes> EverHeld(SimProcess& fleet, int k) {
  return testing::EverHeld(fleet, "#" + std::to_string(k));
}

// Checks the store against the fleet's history, terminal by terminal.
void ExpectExactlyEverything(SimProcess& fleet, Store& store, int terminals) {
  std::map<std::string, std::map<PunchBytes, int>> stored;
  store.ForEachPunch({}, [&](const PunchRow& row) { ++stored[row.terminal][row.punch.bytes]; });
  size_t total = 0;
  for (int k = 1; k <= terminals; ++k) {
    const std::set<PunchBytes> held = EverHeld(fleet, k);
    const auto& mine = stored[Name(k)];
    size_t missing = 0;
    for (const PunchBytes& bytes : held) missing += mine.count(bytes) ? 0 : 1;
    size_t twice = 0, foreign = 0;
    for (const auto& [bytes, times] : mine) {
      twice += times > 1 ? 1 : 0;
      foreign += held.count(bytes) ? 0 : 1;
    }
    EXPECT_EQ(missing, 0u) << Name(k) << " holds " << held.size();
    EXPECT_EQ(twice, 0u) << Name(k);
    EXPECT_EQ(foreign, 0u) << Name(k);
    total += held.size();
  }
  std::printf("%zu punches of %d terminals, each stored once\n", total, terminals);
}

// Polls until a round is complete (at most `rounds`), then checks the store
// against the fleet's history.
void CatchUpThenExpectEverything(Fleet& collector, SimProcess& fleet, Store& store, int terminals,
                                 int rounds) {
  for (int round = 0; round < rounds; ++round) {
    if (OnceStatus(collector.PollOnce({})) == 0) break;
  }
  ExpectExactlyEverything(fleet, store, terminals);
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

class FleetReliabilityTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    if (GetParam() == Kind::kPostgres) {
      if (PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
      server_.emplace();
      database_ = server_->Uri();
    } else {
      database_ = "sqlite:" + (dir_ / "punches.db").string();
    }
  }

  TempDir dir_;
  std::optional<PostgresServer> server_;
  std::string database_;
};

// 20 terminals, 5 % of replies dropped, punches arriving, half of the
// terminals cleared by the collector above 250 records, 200 polls; in the
// middle the store fails for three rounds (PostgreSQL stopped, or SQLite's
// disk full).
TEST_P(FleetReliabilityTest, FaultsArrivalsClearsAndAnOutageLoseNothing) {
  const bool postgres = GetParam() == Kind::kPostgres;
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
  SerializedStore store(OpenStore(database_));
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
  CatchUpThenExpectEverything(collector, fleet, store, kTerminals, 5);
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
  SerializedStore store(OpenStore(database_));
  int64_t stored_by_killed_runs = 0;
  store.ForEachPunch({}, [&](const PunchRow&) { ++stored_by_killed_runs; });
  // A page takes 2.3 s at 19200 bit/s and a restarted run fetches the page of
  // its last stored record again (to compare it), so most runs die mid-page;
  // some committed pages all the same.
  EXPECT_GE(stored_by_killed_runs, kFleet * 256) << "no killed run committed a page";
  Fleet collector(config, store);
  CatchUpThenExpectEverything(collector, fleet, store, kFleet, 3);
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
  SerializedStore store(OpenStore(server.Uri()));
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

  CatchUpThenExpectEverything(collector, fleet, store, kFleet, 5);
}

// Two collectors with the same fleet and the same PostgreSQL database: each
// terminal is polled by one of them at a time, the other says
// claimed-elsewhere (no warning, `once` exits 0); when the collector polling
// them dies, the other takes its terminals within two poll intervals; and
// through three kills and restarts the store holds every record exactly once.
TEST(CollectorPairTest, OneCarriesTheFleetWhenTheOtherDiesAndTogetherTheyLoseNothing) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  if (PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
  PostgresServer server;
  TempDir dir;
  SimProcess fleet({"--tcp-terminals", std::to_string(kTerminals), "--tcp-port", "0", "--records",
                    "100", "--punch-rate", "2", "--seed", "29", "--quiet"});
  constexpr auto kInterval = 2s;
  const std::string config = (dir / "collector.toml").string();
  {
    std::ofstream text(config);
    text << "database = \"" << server.Uri() << "\"\npoll_interval = 2\n";
    for (int k = 1; k <= kTerminals; ++k) {
      text << "[[terminal]]\nname = \"" << Name(k) << "\"\ntcp = \"127.0.0.1:"
           << fleet.tcp_ports()[static_cast<size_t>(k - 1)] << "\"\ncard_list = false\n";
      if (k % 2 == 0) text << "clear_above = 150\n";
    }
  }
  const auto count = [](const std::string& log, const std::string& what) {
    size_t found = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++found;
    return found;
  };
  const auto warnings = [](const std::string& log) {
    return log.rfind("warning", 0) == 0 || log.rfind("error", 0) == 0 ||
           log.find("\nwarning") != std::string::npos || log.find("\nerror") != std::string::npos;
  };
  const std::string elsewhere = ": polled by another collector sharing the database";
  const auto polled_all = [](const std::string& log) {
    for (int k = 1; k <= kTerminals; ++k) {
      if (log.find(" " + Name(k) + ": complete") == std::string::npos &&
          log.find(" " + Name(k) + ": cleared") == std::string::npos) {
        return false;
      }
    }
    return true;
  };

  // pair[active] polls the fleet; the other stands by. At debug every poll
  // is logged, one with nothing new too.
  const std::vector<std::string> run = {"--log-level", "debug", "run"};
  std::optional<Collector> pair[2];
  pair[0].emplace(config, run, (dir / "a0.log").string());
  ASSERT_TRUE(testing::WaitUntil([&] { return polled_all(pair[0]->Log()); }, 60s)) << pair[0]->Log();
  const auto standing_by = [&](const Collector& collector) {
    return testing::WaitUntil(
        [&] { return count(collector.Log(), elsewhere) >= static_cast<size_t>(kTerminals); }, 20s);
  };
  pair[1].emplace(config, run, (dir / "b0.log").string());
  ASSERT_TRUE(standing_by(*pair[1])) << pair[1]->Log();
  std::this_thread::sleep_for(2 * kInterval);
  EXPECT_EQ(count(pair[1]->Log(), " on the terminal"), 0u) << "a terminal was polled by both";
  EXPECT_FALSE(warnings(pair[0]->Log() + pair[1]->Log())) << pair[0]->Log() << pair[1]->Log();
  Collector once(config, "once", (dir / "once.log").string());
  EXPECT_EQ(once.WaitForExit(30s), 0) << once.Log();

  // Three times: the collector polling the fleet is killed, the other
  // carries it, the killed one starts again and stands by.
  int active = 0;
  for (int kill = 1; kill <= 3; ++kill) {
    Collector& survivor = *pair[1 - active];
    const size_t taken_before = count(survivor.Log(), ": polled here from now on");
    pair[active]->Signal(SIGKILL);
    const auto killed = Clock::now();
    ASSERT_EQ(pair[active]->WaitForExit(10s), -1);
    const auto carried = testing::WaitUntil(
        [&] {
          return count(survivor.Log(), ": polled here from now on") >=
                 taken_before + static_cast<size_t>(kTerminals);
        },
        6 * kInterval);
    ASSERT_TRUE(carried) << survivor.Log();
    std::printf("kill %d: the other collector carried the fleet %.1f s later\n", kill,
                testing::Seconds(*carried - killed));
    EXPECT_LE(*carried - killed, 2 * kInterval + 1s);
    pair[active].emplace(config, run, (dir / ("again" + std::to_string(kill) + ".log")).string());
    ASSERT_TRUE(standing_by(*pair[active])) << pair[active]->Log();
    EXPECT_FALSE(warnings(pair[active]->Log() + survivor.Log())) << pair[active]->Log()
                                                                  << survivor.Log();
    active = 1 - active;
  }
  ASSERT_EQ(fleet.Control("punch-rate 0").rfind("ok", 0), 0u);
  for (std::optional<Collector>& collector : pair) collector->Signal(SIGTERM);
  for (std::optional<Collector>& collector : pair) EXPECT_EQ(collector->WaitForExit(10s), 0);

  CollectorConfig last = LoadConfig(config);
  SerializedStore store(OpenStore(server.Uri()));
  Fleet collector(last, store);
  CatchUpThenExpectEverything(collector, fleet, store, kTerminals, 3);
}

INSTANTIATE_TEST_SUITE_P(Stores, FleetReliabilityTest,
                         ::testing::Values(Kind::kSqlite, Kind::kPostgres),
                         [](const ::testing::TestParamInfo<Kind>& param_info) {
                           return param_info.param == Kind::kSqlite ? "Sqlite" : "Postgres";
                         });

}  // namespace
}  // namespace tallygate::collector
