// The fleet's scheduling against tallygate-sim and a real SQLite file.
#include "collector/poll/fleet.h"

#include <gtest/gtest.h>

#include <thread>

#include "collector/poll/serialized_store.h"
#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return testing::WaitUntil(done, limit).has_value();
}

// "Poll now" clicked while the terminal is being polled is not lost to the
// poll that is running: a poll that starts after the click follows at once,
// although the poll interval is an hour.
TEST(FleetTest, PollNowDuringAPollGetsAPollOfItsOwn) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  // The first frame (the record count of the first poll) is answered late,
  // so the click lands while that poll runs.
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", "10", "--quiet", "--fault",
                  "any:1:delay=1500"});
  TempDir dir;
  CollectorConfig config;
  TerminalConfig terminal;
  terminal.name = "gate";
  terminal.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())};
  terminal.time_zone = "Asia/Shanghai";
  terminal.poll_interval = 3600s;
  terminal.card_list = false;
  config.terminals.push_back(terminal);
  SerializedStore store(OpenStore("sqlite:" + (dir / "punches.db").string()));
  Fleet fleet(config, store);

  std::stop_source stop;
  std::thread running([&] { fleet.Run(stop.get_token()); });
  const auto polls = [&] { return store.Collections("gate", 10).size(); };
  std::this_thread::sleep_for(500ms);  // the first poll waits for its count
  EXPECT_EQ(polls(), 0u) << "the first poll should still be running";
  EXPECT_TRUE(fleet.PollNow("gate"));
  EXPECT_TRUE(Eventually([&] { return polls() >= 2; }, 10s))
      << "the click was lost to the poll that was running";
  stop.request_stop();
  running.join();
  EXPECT_FALSE(fleet.PollNow("no such terminal"));
}

}  // namespace
}  // namespace tallygate::collector
