// tallygate-collector against a PostgreSQL server whose processes are
// stopped (SIGSTOP), as a hung server or a cut network looks to a client:
// it warns, naming the store (never its password), within the store's
// limit; SIGHUP is answered while a call hangs, and the reread does not wait
// on it beyond that limit; SIGTERM or SIGINT ends `run` or `once` within 5 s;
// and once the server runs again the store is whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "collector/store/postgres_session.h"
#include "collector/store/store.h"
#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate {
namespace {

using namespace std::chrono_literals;
using testing::Clock;
using testing::Collector;
using testing::Seconds;
using testing::WaitUntil;
using collector::kAnswerWait;
using testing::PostgresServer;
using testing::RunProgram;
using testing::SimProcess;
using testing::TempDir;

constexpr char kPassword[] = "Fr0zen-secret";

class FrozenStoreProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    if (PostgresServer::Programs().empty()) {
      GTEST_SKIP() << "PostgreSQL is not installed (Debian package postgresql)";
    }
    server_.emplace();
    server_->Psql("CREATE ROLE collector LOGIN PASSWORD '" + std::string(kPassword) +
                  "'; GRANT CREATE ON SCHEMA public TO collector");
    database_ = server_->Uri("collector", kPassword);
  }

  // Polls each terminal of `fleet`, named PREFIX1, PREFIX2, ..., every second.
  std::string WriteConfig(const SimProcess& fleet, const std::string& prefix,
                          const std::string& database) {
    const std::string path = (dir_ / (prefix + ".toml")).string();
    std::ofstream config(path);
    config << "database = \"" << database << "\"\npoll_interval = 1\n";
    for (size_t k = 0; k < fleet.tcp_ports().size(); ++k) {
      config << "[[terminal]]\nname = \"" << prefix << k + 1 << "\"\ntcp = \"127.0.0.1:"
             << fleet.tcp_ports()[k] << "\"\ntime_zone = \"Asia/Shanghai\"\ncard_list = false\n";
    }
    return path;
  }

  // What psql prints for `sql`; empty while it fails (the collector has not
  // made the tables yet).
  std::string Ask(const std::string& sql) const {
    try {
      return server_->Psql(sql);
    } catch (const std::runtime_error&) {
      return "";
    }
  }

  std::string Log(const std::string& name) const { return (dir_ / (name + ".log")).string(); }

  // Once the server runs again: the sessions of a collector that exited are
  // gone (their claims with them), then `once` collects everything and the
  // store holds each terminal's records once.
  void ExpectWholeAfterThaw(SimProcess& fleet, const std::string& prefix,
                            const std::string& config) {
    server_->Thaw();
    EXPECT_TRUE(WaitUntil(
        [&] {
          return server_->Psql("SELECT count(*) FROM pg_stat_activity"
                               " WHERE application_name = 'tallygate-collector'") == "0";
        },
        10s));
    const auto once = RunProgram(TALLYGATE_COLLECTOR_PATH, {"--config", config, "once"}, {}, "",
                                 120s);
    EXPECT_EQ(once.exit_status, 0) << once.err;
    const auto status =
        RunProgram(TALLYGATE_COLLECTOR_PATH, {"--config", config, "status", "--json"});
    ASSERT_EQ(status.exit_status, 0) << status.err;
    std::map<std::string, int64_t> punches;
    for (const auto& state : nlohmann::json::parse(status.out)) {
      punches[state["terminal"]] = state["punches"];
    }
    for (size_t k = 1; k <= fleet.tcp_ports().size(); ++k) {
      char target[24];
      std::snprintf(target, sizeof target, "#%zu", k);
      const auto held = fleet.RecordUnits(target);
      ASSERT_TRUE(held.has_value());
      const std::string name = prefix + std::to_string(k);
      EXPECT_EQ(punches[name], static_cast<int64_t>(held->size())) << name;
    }
  }

  TempDir dir_;
  std::optional<PostgresServer> server_;
  std::string database_;
};

TEST_F(FrozenStoreProgramTest, AStopEndsTheCollectorWithinFiveSecondsWhileAStoreCallHangs) {
  struct Case {
    std::string command;
    int signal;
    int status;  // once: the store failed
    std::vector<std::string> fleet;
  };
  const Case cases[] = {
      {"run", SIGTERM, 0, {"--tcp-terminals", "3", "--records", "50"}},
      // At 19200 bit/s a page of 256 records takes seconds: when the first
      // is stored, the poll is still under way, its next page seconds off.
      // A seed of its own: a memory the store does not know already.
      {"once", SIGINT, 1,
       {"--tcp-terminals", "1", "--records", "600", "--wire-speed", "--seed", "7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<std::string> args = c.fleet;
    args.insert(args.end(), {"--tcp-port", "0", "--quiet"});
    SimProcess fleet(args);
    const std::string config = WriteConfig(fleet, c.command, database_);
    Collector collector(config, c.command, Log(c.command));
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::string begun = Ask(
              "SELECT count(*) FROM collections WHERE terminal LIKE '" + c.command + "%'");
          return !begun.empty() && begun != "0";
        },
        30s))
        << collector.Log();
    server_->Freeze();
    std::this_thread::sleep_for(1500ms);  // the next store call waits on the server
    const auto signalled = Clock::now();
    collector.Signal(c.signal);
    const std::optional<int> status = collector.WaitForExit(10s);
    const double took = Seconds(Clock::now() - signalled);
    std::printf("%s: %s against the frozen store ended it after %.2f s\n", c.command.c_str(),
                strsignal(c.signal), took);
    ASSERT_TRUE(status.has_value()) << collector.Log();
    EXPECT_LE(took, 5.0);
    EXPECT_EQ(*status, c.status) << collector.Log();
    EXPECT_NE(collector.Log().find("still waiting after 3 s for a call to the store " +
                                   collector::WithoutPassword(database_)),
              std::string::npos)
        << "no store call was hanging when the stop came\n"
        << collector.Log();
    ExpectWholeAfterThaw(fleet, c.command, config);
  }
}

TEST_F(FrozenStoreProgramTest, WarnsNamingTheStoreAndRereadsWithinTheLimit) {
  SimProcess fleet({"--tcp-terminals", "3", "--tcp-port", "0", "--records", "50", "--quiet"});
  const std::string config = WriteConfig(fleet, "gate", database_);
  Collector collector(config, "run", Log("run"));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Ask("SELECT sum(punches) FROM terminals") == "150";
      },
      30s))
      << collector.Log();
  server_->Freeze();
  const auto frozen = Clock::now();
  std::this_thread::sleep_for(1s);  // polls are waiting on the store
  const std::string sqlite = "sqlite:" + (dir_ / "punches.db").string();
  WriteConfig(fleet, "gate", sqlite);
  collector.Signal(SIGHUP);
  const auto reread = collector.WaitForLog("configuration reread", 5s);
  const auto warned = collector.WaitForLog(
      "warning the store does not answer: " + collector::WithoutPassword(database_),
      kAnswerWait + 10s);
  const auto moved = collector.WaitForLog("polling 3 terminals into " + sqlite, kAnswerWait + 10s);
  const std::string log = collector.Log();
  ASSERT_TRUE(reread && warned && moved) << log;
  std::printf("frozen store: SIGHUP answered after %.2f s, warning after %.1f s, the new store "
              "polled after %.1f s\n",
              Seconds(*reread - frozen) - 1, Seconds(*warned - frozen), Seconds(*moved - frozen));
  // The limit, from a call that began up to a poll interval after the freeze.
  EXPECT_LE(*warned - frozen, kAnswerWait + 2s);
  // The reread waited for the call in flight, not for each queued call in turn.
  EXPECT_LE(*moved - frozen, kAnswerWait + 3s);
  EXPECT_EQ(log.find(kPassword), std::string::npos) << log;
  server_->Thaw();
  collector.Signal(SIGTERM);
  EXPECT_EQ(collector.WaitForExit(5s), 0) << collector.Log();
}

// Frozen before the service starts: the store is being opened (connecting
// waits on the server), and SIGHUP naming another store, then SIGTERM, are
// answered at once.
TEST_F(FrozenStoreProgramTest, WhileTheStoreIsBeingOpenedSignalsAreAnsweredAtOnce) {
  SimProcess fleet({"--tcp-terminals", "1", "--tcp-port", "0", "--records", "5", "--quiet"});
  const std::string config = WriteConfig(fleet, "gate", database_);
  server_->Freeze();
  Collector collector(config, "run", Log("run"));
  std::this_thread::sleep_for(1s);
  const std::string sqlite = "sqlite:" + (dir_ / "punches.db").string();
  WriteConfig(fleet, "gate", sqlite);
  const auto reloading = Clock::now();
  collector.Signal(SIGHUP);
  const auto moved = collector.WaitForLog("polling 1 terminals into " + sqlite, 15s);
  ASSERT_TRUE(moved) << collector.Log();
  const auto stopping = Clock::now();
  collector.Signal(SIGTERM);
  const std::optional<int> status = collector.WaitForExit(10s);
  const double took = Seconds(Clock::now() - stopping);
  std::printf("the store being opened: SIGHUP answered after %.2f s, SIGTERM after %.2f s\n",
              Seconds(*moved - reloading), took);
  EXPECT_LE(*moved - reloading, 2s);
  EXPECT_LE(took, 5.0);
  EXPECT_EQ(status, 0);
  // The attempt on the frozen server was still waiting, and was left.
  EXPECT_NE(collector.Log().find("still waiting after 3 s for the store " +
                                 collector::WithoutPassword(database_) + " to open"),
            std::string::npos)
      << collector.Log();
}

}  // namespace
}  // namespace tallygate
