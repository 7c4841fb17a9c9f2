// One terminal polled again and again while its memory changes under it:
// after every complete poll the store holds every record the terminal ever
// held, each once. The poller reaches the simulated terminal over TCP; the
// test changes the terminal's memory over its pseudo-terminal.
#include "collector/poll/terminal_poll.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "collector/base/log.h"
#include "sim/client/sim_process.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

// What the test does before a poll, and what the poll must report.
struct Step {
  std::string action;  // "" | "add N" | "clear" | "fault RULE" | "clear-faults"
  Outcome outcome;
  int32_t from;        // the collection's from_position
  int32_t added;
};

struct Case {
  const char* name;
  int32_t seeded;      // records the terminal starts with
  std::optional<int32_t> clear_above;
  std::vector<Step> steps;
};

const Case kCases[] = {
    {"incremental from the last stored record",
     300,
     {},
     {{"", Outcome::kComplete, 0, 300},
      {"add 10", Outcome::kComplete, 299, 10},
      {"", Outcome::kComplete, 309, 0}}},
    {"cleared to fewer records than stored",
     300,
     {},
     {{"", Outcome::kComplete, 0, 300}, {"clear", Outcome::kComplete, 0, 0},
      {"add 5", Outcome::kComplete, 0, 5}}},
    {"cleared and refilled to the same count",
     3,
     {},
     {{"", Outcome::kComplete, 0, 3}, {"clear", Outcome::kComplete, 0, 0},
      {"add 3", Outcome::kComplete, 0, 3}}},
    {"cleared and refilled beyond the count",
     3,
     {},
     {{"", Outcome::kComplete, 0, 3}, {"clear", Outcome::kComplete, 0, 0},
      {"add 6", Outcome::kComplete, 0, 6}}},
    {"a lost page holds the mark at its gap until it comes",
     600,
     {},
     {{"fault 0xBB,page=2,unit=5:every:drop", Outcome::kPartial, 0, 344},
      {"clear-faults", Outcome::kComplete, 255, 256},
      {"", Outcome::kComplete, 599, 0}}},
    {"cleared once every record is stored",
     300,
     100,
     {{"", Outcome::kCleared, 0, 300}, {"add 2", Outcome::kComplete, 0, 2}}},
};

class TerminalPollTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    sim_.emplace(std::vector<std::string>{"--tcp-port", "0", "--pty", "--address", "1",
                                          "--quiet", "--records",
                                          std::to_string(GetParam().seeded)});
    auto side = Line::Open(SerialEndpoint{sim_->pty_path()});
    ASSERT_TRUE(side) << side.error().message();
    side_ = std::move(*side);
    store_ = OpenStore("sqlite:" + (dir_ / "punches.db").string());
    config_.name = "gate";
    config_.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim_->tcp_port())};
    config_.time_zone = "Asia/Shanghai";
    config_.clear_above = GetParam().clear_above;
    config_.card_list = false;
    config_.unit_wait = 300ms;
    store_->SaveTerminal({config_.name, config_.EndpointText(), 1, config_.time_zone});
    runtime_.config = &config_;
  }

  // Every record the terminal holds now, as identity bytes.
  std::vector<PunchBytes> Held() {
    std::vector<PunchBytes> held;
    const auto report = side_->FetchRecords(1, 0, [&](const AttendanceRecord& record) {
      PunchBytes bytes;
      std::copy_n(record.raw.begin() + 3, bytes.size(), bytes.begin());
      held.push_back(bytes);
    });
    EXPECT_TRUE(report && report->complete());
    return held;
  }

  void Act(const std::string& action) {
    if (action.empty()) return;
    if (action.rfind("add ", 0) == 0) {
      const int n = std::stoi(action.substr(4));
      for (int i = 0; i < n; ++i) {
        // Each added record differs from every seeded one and from the others.
        const auto time = std::chrono::local_days{std::chrono::year{2026} / 12 / 1} + 8h +
                          std::chrono::seconds{next_card_};
        ASSERT_TRUE(side_->StoreRecord(1, 0x00A00000u + next_card_++, time, 0x00, 0x00));
      }
    } else if (action == "clear") {
      ASSERT_TRUE(side_->ClearRecords(1));
    } else if (action.rfind("fault ", 0) == 0 || action == "clear-faults") {
      ASSERT_EQ(sim_->Control(action).rfind("ok", 0), 0u) << action;
    } else {
      FAIL() << "unknown action " << action;
    }
  }

  std::optional<SimProcess> sim_;
  TempDir dir_;
  std::unique_ptr<Line> side_;
  std::unique_ptr<Store> store_;
  TerminalConfig config_;
  TerminalRuntime runtime_;
  uint32_t next_card_ = 0;
};

TEST_P(TerminalPollTest, EveryRecordEverHeldIsStoredOnce) {
  auto line = Line::Open(config_.endpoint);
  ASSERT_TRUE(line) << line.error().message();
  std::set<PunchBytes> ever_held;
  bool faults = false;  // the side line sees them too: it reads nothing then
  for (const Step& step : GetParam().steps) {
    SCOPED_TRACE(step.action.empty() ? "poll" : step.action);
    if (!faults) {
      for (const PunchBytes& bytes : Held()) ever_held.insert(bytes);
    }
    Act(step.action);
    if (step.action.rfind("fault", 0) == 0) faults = true;
    if (step.action == "clear-faults") faults = false;
    if (!faults) {
      for (const PunchBytes& bytes : Held()) ever_held.insert(bytes);
    }
    const Collection collection = PollTerminal(**line, runtime_, *store_, {});
    EXPECT_EQ(collection.outcome, step.outcome) << collection.error;
    EXPECT_EQ(collection.from_position, step.from);
    EXPECT_EQ(collection.punches_added, step.added);

    std::map<PunchBytes, int> stored;
    store_->ForEachPunch({}, [&](const PunchRow& row) { ++stored[row.punch.bytes]; });
    for (const auto& [bytes, times] : stored) EXPECT_EQ(times, 1) << "a punch stored twice";
    if (step.outcome == Outcome::kComplete || step.outcome == Outcome::kCleared) {
      for (const PunchBytes& bytes : ever_held) EXPECT_EQ(stored.count(bytes), 1u);
      EXPECT_EQ(stored.size(), ever_held.size());
    }
  }
  if (GetParam().clear_above) {
    const auto count = side_->RecordCount(1);
    ASSERT_TRUE(count);
    EXPECT_LE(*count, *GetParam().clear_above);
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, TerminalPollTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                           std::string name;
                           for (const char* c = param_info.param.name; *c; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

// A terminal that does not answer backs off: its poll interval, doubling,
// never beyond five minutes. One whose line another program holds is busy:
// tried again in seconds, its failures untouched, recorded once; over TCP
// only for busy_limit, then it is unreachable.
TEST(TerminalPollBackoff, DoublesUpToFiveMinutesButNotForABusyLine) {
  TempDir dir;
  auto store = OpenStore("sqlite:" + (dir / "punches.db").string());
  TerminalConfig config;
  config.name = "silent";
  config.endpoint = TcpEndpoint{"127.0.0.1", 1};
  config.poll_interval = 60s;
  store->SaveTerminal({config.name, "tcp://127.0.0.1:1", 1, "UTC"});
  TerminalRuntime runtime;
  runtime.config = &config;
  const auto fail = [&](ErrorCode code, const char* why) {
    const auto before = std::chrono::steady_clock::now();
    const Collection collection = RecordLineFailure(runtime, *store, Error(code, why));
    return std::make_pair(collection.outcome,
                          std::chrono::round<std::chrono::seconds>(runtime.next_due - before).count());
  };
  std::vector<int64_t> waits;
  for (int i = 0; i < 5; ++i) {
    const auto [outcome, wait] = fail(ErrorCode::kTimedOut, "connect timed out");
    EXPECT_EQ(outcome, Outcome::kUnreachable);
    waits.push_back(wait / 60);
  }
  EXPECT_EQ(waits, (std::vector<int64_t>{1, 2, 4, 5, 5}));
  std::vector<TerminalState> states = store->States();
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0].last_error, "connect timed out");
  EXPECT_TRUE(states[0].backoff_until.has_value());

  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fail(ErrorCode::kRefused, "connection refused"),
              std::make_pair(Outcome::kBusy, int64_t{5}));
  }
  EXPECT_EQ(runtime.failures, 5) << "busy is no failure, nor a success";
  EXPECT_EQ(store->Collections(config.name, 100).size(), 6u) << "busy is recorded once";
  states = store->States();
  EXPECT_EQ(states[0].last_outcome, Outcome::kBusy);
  EXPECT_FALSE(states[0].backoff_until.has_value());

  config.busy_limit = 0s;
  EXPECT_EQ(fail(ErrorCode::kRefused, "connection refused").first, Outcome::kUnreachable);
  EXPECT_EQ(runtime.failures, 6);
}

// A poll that finds nothing new is logged at debug only, and is written at
// most once a kQuietWrite, as the terminal's last answer without a
// collections row; punches, failures and the first answer after a failure
// are written and said at once.
TEST(TerminalPollQuiet, WrittenOnceAMinuteAndNotLogged) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  SimProcess sim({"--tcp-port", "0", "--pty", "--address", "1", "--quiet", "--records", "3"});
  auto side = Line::Open(SerialEndpoint{sim.pty_path()});
  ASSERT_TRUE(side) << side.error().message();
  TempDir dir;
  auto store = OpenStore("sqlite:" + (dir / "punches.db").string());
  TerminalConfig config;
  config.name = "gate";
  config.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())};
  config.card_list = false;
  store->SaveTerminal({config.name, config.EndpointText(), 1, config.time_zone});
  TerminalRuntime runtime;
  runtime.config = &config;
  auto line = Line::Open(config.endpoint);
  ASSERT_TRUE(line) << line.error().message();
  SetLogLevel(LogLevel::kInfo);
  const UtcTime long_ago = std::chrono::sys_days{std::chrono::year{2000} / 1 / 1};

  struct QuietStep {
    const char* action;  // "" | "minute" (one passes) | "add" | "fail"
    size_t rows;         // collections rows after it
    bool answer_written;
    const char* logged;  // "" for nothing at info or above
  };
  const QuietStep steps[] = {
      {"", 1, true, "3 fetched from position 0, 3 punches added"},
      {"", 1, false, ""},
      {"minute", 1, true, ""},
      {"add", 2, true, "1 fetched from position 2, 1 punches added"},
      {"", 2, false, ""},
      {"fail", 3, true, "unreachable"},
      {"", 4, true, ""},
  };
  for (const QuietStep& step : steps) {
    SCOPED_TRACE(std::string("step ") + step.action);
    store->RecordAnswer(config.name, long_ago, long_ago);
    const std::string action = step.action;
    if (action == "minute") runtime.answer_written -= kQuietWrite;
    if (action == "add") {
      ASSERT_TRUE((*side)->StoreRecord(
          1, 0x00A00001u, std::chrono::local_days{std::chrono::year{2026} / 12 / 1} + 8h, 0, 0));
    }
    ::testing::internal::CaptureStderr();
    if (action == "fail") {
      RecordLineFailure(runtime, *store, Error(ErrorCode::kTimedOut, "connect timed out"));
    } else {
      EXPECT_EQ(PollTerminal(**line, runtime, *store, {}).outcome, Outcome::kComplete);
    }
    const std::string logged = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(store->Collections(config.name, 100).size(), step.rows);
    const std::vector<TerminalState> states = store->States();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].last_poll != long_ago, step.answer_written);
    if (*step.logged == '\0') {
      EXPECT_EQ(logged, "");
    } else {
      EXPECT_NE(logged.find(step.logged), std::string::npos) << logged;
    }
  }
}

// A terminal is not cleared before its last stored record is confirmed
// since the start (it may have been cleared and refilled to the same count
// meanwhile), though on a bus the confirmation waits for its turn.
TEST(TerminalPollUpkeep, NotClearedBeforeTheLastRecordIsConfirmed) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--quiet", "--records", "1"});
  TempDir dir;
  auto store = OpenStore("sqlite:" + (dir / "punches.db").string());
  TerminalConfig config;
  config.name = "gate";
  config.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())};
  config.verify_interval = 600s;
  config.card_list = false;
  store->SaveTerminal({config.name, config.EndpointText(), 1, config.time_zone});
  auto line = Line::Open(config.endpoint);
  ASSERT_TRUE(line) << line.error().message();
  TerminalRuntime before_restart;
  before_restart.config = &config;
  EXPECT_EQ(PollTerminal(**line, before_restart, *store, {}).outcome, Outcome::kComplete);
  config.clear_above = 0;
  TerminalRuntime runtime;
  runtime.config = &config;
  runtime.upkeep_allowed = false;
  EXPECT_EQ(PollTerminal(**line, runtime, *store, {}).outcome, Outcome::kComplete);
  runtime.upkeep_allowed = true;
  EXPECT_EQ(PollTerminal(**line, runtime, *store, {}).outcome, Outcome::kCleared);
  EXPECT_TRUE(runtime.upkeep_done);
}

// A poll that confirms the last record (every poll of a TCP terminal whose
// connection is new) reads the day's card list too; only a bus keeps to one
// upkeep job a poll, and reads it at its next.
TEST(TerminalPollUpkeep, TheDaysCardListComesWithAConfirmationUnlessOnABus) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--quiet", "--records", "1", "--cards",
                  "2"});
  for (const bool bus : {false, true}) {
    SCOPED_TRACE(bus ? "bus" : "tcp");
    TempDir dir;
    auto store = OpenStore("sqlite:" + (dir / "punches.db").string());
    TerminalConfig config;
    config.name = "gate";
    config.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())};
    config.verify_interval = 600s;
    store->SaveTerminal({config.name, config.EndpointText(), 1, config.time_zone});
    auto line = Line::Open(config.endpoint);
    ASSERT_TRUE(line) << line.error().message();
    config.card_list = false;
    TerminalRuntime first;
    first.config = &config;
    ASSERT_EQ(PollTerminal(**line, first, *store, {}).outcome, Outcome::kComplete);
    config.card_list = true;
    TerminalRuntime runtime;  // a start: the last record is unconfirmed
    runtime.config = &config;
    runtime.upkeep_one_job = bus;
    ASSERT_EQ(PollTerminal(**line, runtime, *store, {}).outcome, Outcome::kComplete);
    EXPECT_EQ(store->Cards(config.name).collected.has_value(), !bus);
    ASSERT_EQ(PollTerminal(**line, runtime, *store, {}).outcome, Outcome::kComplete);
    EXPECT_EQ(store->Cards(config.name).cards.size(), 2u);
  }
}

}  // namespace
}  // namespace tallygate::collector
