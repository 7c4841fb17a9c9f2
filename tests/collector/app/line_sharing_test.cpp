// tallygate-collector shares the terminals' lines with the programs people
// use on them: between its polls `tallygate` reaches the same terminal over
// TCP and on the same serial bus, and a line another program holds makes the
// terminal busy (retried in seconds, no backoff), not unreachable.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/client/sim_process.h"
#include "tallygate/terminal.h"
#include "tests/collector/collector_process.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::SimProcess;
using testing::TempDir;

class LineSharingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    sim_.emplace(std::vector<std::string>{"--tcp-port", "0", "--pty", "--address", "1",
                                          "--records", "40", "--quiet"});
    env_ = testing::ToolEnvironment(dir_.path());
    env_["TALLYGATE_COM5"] = sim_->pty_path();
    const ProgramResult registered = RunProgram(TALLYGATE_REGSVR_PATH, {TALLYGATE_V70_PATH}, env_);
    ASSERT_EQ(registered.exit_status, 0) << registered.err;
    // The same terminal over TCP and on the bus, polled every 30 s.
    config_ = (dir_ / "collector.toml").string();
    std::ofstream(config_) << "database = \"sqlite:" << (dir_ / "punches.db").string() << "\"\n"
                           << "poll_interval = \"30s\"\n"
                           << "[[terminal]]\nname = \"tcp1\"\ntcp = \"127.0.0.1:" << sim_->tcp_port()
                           << "\"\ncard_list = false\n"
                           << "[[terminal]]\nname = \"bus1\"\nserial = \"" << sim_->pty_path()
                           << "\"\ncard_list = false\n";
    collector_.emplace(config_, "run", (dir_ / "collector.log").string());
  }
  void TearDown() override {
    if (!collector_) return;
    collector_->Signal(SIGTERM);
    collector_->WaitForExit(std::chrono::seconds(10));
  }

  // Each terminal's state as `status --json` tells it.
  std::map<std::string, nlohmann::json> States() {
    const ProgramResult result = RunProgram(TALLYGATE_COLLECTOR_PATH,
                                            {"--config", config_, "status", "--json"});
    std::map<std::string, nlohmann::json> states;
    if (result.exit_status != 0) return states;
    for (const auto& state : nlohmann::json::parse(result.out)) {
      states[state["terminal"].get<std::string>()] = state;
    }
    return states;
  }
  // Waits up to `tenths` of a second until `done(states)`.
  template <typename Done>
  bool Until(Done done, int tenths = 150) {
    for (int i = 0; i < tenths; ++i, usleep(100'000)) {
      const auto states = States();
      if (done(states)) return true;
    }
    return false;
  }
  static bool Outcome(const std::map<std::string, nlohmann::json>& states, const std::string& name,
                      const std::string& outcome) {
    const auto found = states.find(name);
    return found != states.end() && found->second["last_outcome"] == outcome;
  }
  std::string Log() const { return collector_->Log(); }
  // SIGHUP: the configuration is read again and every terminal polled at once.
  void PollAgain() { collector_->Signal(SIGHUP); }

  TempDir dir_;
  std::optional<SimProcess> sim_;
  std::map<std::string, std::optional<std::string>> env_;
  std::string config_;
  std::optional<testing::Collector> collector_;
};

TEST_F(LineSharingTest, PeoplesProgramsReachTheTerminalBetweenPolls) {
  auto both_complete = [](const auto& s) {
    return Outcome(s, "tcp1", "complete") && Outcome(s, "bus1", "complete");
  };
  ASSERT_TRUE(Until(both_complete)) << Log();
  const auto lines = [this] {
    const std::string log = Log();
    return std::count(log.begin(), log.end(), '\n');
  };
  const auto lines_before = lines();

  const ProgramResult collected = RunProgram(
      TALLYGATE_CLI_PATH,
      {"collect", "--tcp", "127.0.0.1:" + std::to_string(sim_->tcp_port()), "--addr", "1",
       "--dir", (dir_ / "out").string()},
      env_);
  EXPECT_EQ(collected.exit_status, 0) << collected.out << collected.err;
  const ProgramResult counted =
      RunProgram(TALLYGATE_CLI_PATH, {"--com", "5", "call", "GatherRecordSum", "1", "@0", "@"}, env_);
  EXPECT_EQ(counted.exit_status, 0) << counted.out << counted.err;

  // The collector's next polls succeed too.
  PollAgain();
  EXPECT_TRUE(Until([&](const auto& s) {
    return both_complete(s) && lines() >= lines_before + 2;
  })) << Log();
  EXPECT_EQ(Log().find("unreachable"), std::string::npos) << Log();
}

TEST_F(LineSharingTest, ALineHeldByAnotherProgramIsBusyThenPolledSoonAfter) {
  ASSERT_TRUE(Until([](const auto& s) { return Outcome(s, "bus1", "complete"); })) << Log();
  {
    // Another program opens the bus and keeps it, as DemoConsole does.
    auto held = Line::Open(SerialEndpoint{sim_->pty_path()});
    ASSERT_TRUE(held) << held.error().message();
    PollAgain();
    ASSERT_TRUE(Until([](const auto& s) { return Outcome(s, "bus1", "busy"); })) << Log();
    const auto states = States();
    EXPECT_TRUE(states.at("bus1")["backoff_until"].is_null()) << "busy is no failure";
    usleep(6'000'000);  // more than one retry while it is held
  }
  // Released: polled again within seconds, not at the 30 s interval.
  EXPECT_TRUE(Until([](const auto& s) { return Outcome(s, "bus1", "complete"); }, 100)) << Log();
  const std::string log = Log();
  size_t busy_lines = 0;
  for (size_t at = log.find("bus1: busy"); at != std::string::npos;
       at = log.find("bus1: busy", at + 1)) {
    ++busy_lines;
  }
  EXPECT_EQ(busy_lines, 1u) << "said once, when it became busy:\n" << log;
}

}  // namespace
}  // namespace tallygate
