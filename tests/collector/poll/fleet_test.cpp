// The fleet's scheduling against tallygate-sim and a real SQLite file.
#include "collector/store/store.h"
#include "collector/poll/fleet.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/support/free_port.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return testing::WaitUntil(done, limit).has_value();
}

// The simulator's terminal as "gate", without its card list.
CollectorConfig OneTerminal(const SimProcess& sim, std::chrono::seconds poll_interval) {
  CollectorConfig config;
  TerminalConfig terminal;
  terminal.name = "gate";
  terminal.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())};
  terminal.time_zone = "Asia/Shanghai";
  terminal.poll_interval = poll_interval;
  terminal.card_list = false;
  config.terminals.push_back(terminal);
  return config;
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
  const CollectorConfig config = OneTerminal(sim, 3600s);
  const std::unique_ptr<Store> store_opened = OpenStore("sqlite:" + (dir / "punches.db").string());
  Store& store = *store_opened;
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

// A terminal polled every second keeps its connection and is not confirmed
// at every poll; but another client that takes it over, clears it and
// refills it to the same count, is noticed at the first poll over the
// collector's next connection, not 10 minutes on.
TEST(FleetTest, ATerminalRefilledByAnotherClientIsConfirmedOverTheNextConnection) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  TempDir dir;
  CollectorConfig config = OneTerminal(sim, 1s);
  config.terminals[0].verify_interval = 600s;
  const TerminalConfig& terminal = config.terminals[0];
  const std::unique_ptr<Store> store_opened = OpenStore("sqlite:" + (dir / "punches.db").string());
  Store& store = *store_opened;
  Fleet fleet(config, store);

  std::stop_source stop;
  std::thread running([&] { fleet.Run(stop.get_token()); });
  const auto stored = [&] { return store.LastPunchId(); };
  EXPECT_TRUE(Eventually([&] { return stored() == 3; }, 10s));
  std::this_thread::sleep_for(1500ms);  // polled again over the same connection
  {
    // The simulator, like a terminal, drops the collector for this client.
    auto other = Line::Open(terminal.endpoint);
    ASSERT_TRUE(other) << other.error().message();
    ASSERT_TRUE((*other)->ClearRecords(1));
    const auto time = std::chrono::local_days{std::chrono::year{2026} / 12 / 1} + 8h;
    for (uint32_t card = 0; card < 3; ++card) {
      ASSERT_TRUE((*other)->StoreRecord(1, 0x00A00000u + card, time + std::chrono::minutes(card),
                                        0x00, 0x00));
    }
  }
  EXPECT_TRUE(Eventually([&] { return stored() == 6; }, 20s))
      << "the refilled records were not collected: " << stored() << " punches stored";
  stop.request_stop();
  running.join();
}

// A once run waits out a terminal whose line is busy at its first try. When
// that terminal is the last one done, the run ends (the other worker, parked
// for a change, is told) and the terminal is reported as collected.
TEST(FleetTest, AOnceRunEndsWhenABusyTerminalIsTheLastDone) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  // Three terminals, so three workers: two are parked when the third
  // waits out the busy one.
  SimProcess first({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  SimProcess other({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  const int late_port = testing::FreePort();  // refused at first: busy
  TempDir dir;
  CollectorConfig config = OneTerminal(first, 1s);
  TerminalConfig added = config.terminals[0];
  added.name = "other";
  added.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(other.tcp_port())};
  config.terminals.push_back(added);
  added.name = "late";
  added.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(late_port)};
  config.terminals.push_back(added);
  const std::unique_ptr<Store> store_opened = OpenStore("sqlite:" + (dir / "punches.db").string());
  Store& store = *store_opened;
  Fleet fleet(config, store);

  std::stop_source stop;
  auto run = std::async(std::launch::async, [&] { return fleet.PollOnce(stop.get_token()); });
  std::this_thread::sleep_for(1s);  // "late" has been found busy
  SimProcess second({"--tcp-port", std::to_string(late_port), "--address", "1", "--records", "2",
                     "--quiet"});
  const bool ended = run.wait_for(60s) == std::future_status::ready;
  stop.request_stop();  // frees a run that hangs, so the test can report it
  const std::vector<Collection> collections = run.get();
  EXPECT_TRUE(ended) << "the once run did not end once every terminal was done";
  ASSERT_EQ(collections.size(), 3u);
  EXPECT_EQ(collections[0].outcome, Outcome::kComplete);
  EXPECT_EQ(collections[1].outcome, Outcome::kComplete);
  EXPECT_EQ(collections[2].outcome, Outcome::kComplete) << collections[2].error;
  EXPECT_EQ(collections[2].count, 2);
  EXPECT_EQ(OnceStatus(collections), 0);
}

// A bus whose terminals are always due (poll interval 0) never idles, so
// its upkeep (the last stored record read again, the day's card list and
// clock) goes on in turns: between two jobs every other terminal's records
// are counted, so a swipe never waits behind a run of jobs. Read from the
// simulator's frames (a count is a 6-byte reply); first a start on an empty
// store (a record just collected is not read again), then a restart on it
// (each last record is read again, in turns).
TEST(FleetTest, ABusTakesItsUpkeepInTurnsWithItsRecordPolls) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  constexpr int kTerminals = 4;
  std::vector<std::string> args = {"--pty", "--records", "1", "--cards", "2"};
  CollectorConfig config;
  for (int a = 1; a <= kTerminals; ++a) {
    args.insert(args.end(), {"--address", std::to_string(a)});
    config.terminals.emplace_back();
    TerminalConfig& terminal = config.terminals.back();
    terminal.name = "t" + std::to_string(a);
    terminal.address = static_cast<uint8_t>(a);
    terminal.time_zone = "Asia/Shanghai";
    terminal.poll_interval = 0s;
    terminal.verify_interval = 600s;
    terminal.set_clock = true;
  }
  SimProcess sim(args);
  for (TerminalConfig& terminal : config.terminals) {
    terminal.endpoint = SerialEndpoint{sim.pty_path()};
  }
  TempDir dir;
  const std::unique_ptr<Store> store_opened = OpenStore("sqlite:" + (dir / "punches.db").string());
  Store& store = *store_opened;
  static const std::regex kFrame(R"(^rx addr=(\d+) cmd=0x\w+ (\w+) -> reply ((?:[0-9A-F]{2} ?)+))");
  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "restart" : "start");
    const size_t from = sim.Lines().size();
    std::vector<std::pair<int, bool>> polls;  // from each count: its terminal, whether it did a job
    std::map<std::pair<int, std::string>, int> frames;  // by terminal and command
    const auto read = [&] {
      polls.clear();
      frames.clear();
      const std::vector<std::string> lines = sim.Lines();
      std::smatch frame;
      for (size_t i = from; i < lines.size(); ++i) {
        if (!std::regex_search(lines[i], frame, kFrame)) continue;
        const int address = std::stoi(frame[1]);
        const std::string command = frame[2];
        if (command == "GatherRecordSum" && frame[3].length() <= 17) {
          polls.emplace_back(address, false);
        } else if (const int seen = frames[{address, command}]++;
                   !polls.empty() && polls.back().first == address) {
          // The first record read at a start is the first collection.
          polls.back().second |= command != "GatherRecordSum" || restart || seen > 0;
        }
      }
      for (int a = 1; a <= kTerminals; ++a) {
        for (const char* command : {"GatherRecordSum", "GatherSendCardSum", "ModifyDateTime"}) {
          if (frames.count({a, command}) == 0) return false;
        }
      }
      return true;
    };
    Fleet fleet(config, store);
    std::stop_source stop;
    std::thread running([&] { fleet.Run(stop.get_token()); });
    EXPECT_TRUE(Eventually(read, 60s)) << "not every terminal's records, card list and clock";
    stop.request_stop();
    running.join();
    read();
    size_t jobs = 0;
    std::optional<size_t> last_job;
    for (size_t p = 0; p < polls.size(); ++p) {
      if (!polls[p].second) continue;
      ++jobs;
      std::set<int> counted = {polls[p].first};
      for (size_t q = last_job.value_or(p) + 1; q < p; ++q) counted.insert(polls[q].first);
      EXPECT_TRUE(!last_job || counted.size() == kTerminals)
          << "jobs in polls " << *last_job << " and " << p;
      last_job = p;
    }
    // Each terminal's card list and clock; after a restart, its last record.
    EXPECT_EQ(jobs, size_t{kTerminals} * (restart ? 2 : 1));
  }
}

}  // namespace
}  // namespace tallygate::collector
