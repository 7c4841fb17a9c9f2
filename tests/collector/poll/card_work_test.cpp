// The fleet carrying the wanted card lists out on tallygate-sim's
// terminals, with a real SQLite file: each terminal ends holding exactly
// its cards, a revocation does not wait for the poll interval, and a
// terminal that cannot be reached keeps its changes pending.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "collector/store/store.h"
#include "collector/poll/fleet.h"
#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/terminal_cards.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  return testing::WaitUntil(done, limit).has_value();
}

UtcTime Now() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

constexpr uint32_t kGatesOnly = 0xA00001;
constexpr uint32_t kEverywhere = 0xA00002;
constexpr uint32_t kCanteen = 0xA00003;
constexpr int kSeeded = 2;  // cards on each terminal that nobody asked for

class CardWorkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{
        "--tcp-terminals", "3", "--tcp-port", "0", "--quiet", "--cards", std::to_string(kSeeded)});
    const char* groups[] = {"gates", "gates", "canteen"};
    for (int i = 0; i < 3; ++i) {
      TerminalConfig terminal;
      terminal.name = "t" + std::to_string(i + 1);
      terminal.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim_->tcp_ports()[i])};
      terminal.time_zone = "Asia/Shanghai";
      // Nothing but a change of the wanted lists polls a terminal again.
      terminal.poll_interval = 3600s;
      terminal.groups = {groups[i]};
      config_.terminals.push_back(terminal);
    }
    config_.terminals[2].remove_unknown_cards = true;
    store_ = OpenStore("sqlite:" + (dir_ / "punches.db").string());
  }

  void Start() {
    fleet_ = std::make_unique<Fleet>(config_, *store_);
    running_ = std::thread([this] { fleet_->Run(stop_.get_token()); });
  }
  void Stop() {
    stop_.request_stop();
    if (running_.joinable()) running_.join();
  }
  void TearDown() override { Stop(); }

  void Change(const CardholderChanges& changes) {
    ASSERT_FALSE(store_->ChangeCardholders(changes, "test", Now()).empty());
  }

  // Terminal `terminal`'s list as the terminal holds it.
  testing::TerminalCards ListOf(int terminal) {
    return testing::CardsOnTerminal(config_.terminals[terminal].endpoint);
  }

  // Nothing pending, and at least `done` changes done (`change` of `card`
  // only, when given).
  bool Settled(size_t done, std::optional<CardChange> change = {}, uint32_t card = 0) {
    if (!store_->PendingCards("", std::nullopt).empty()) return false;
    size_t count = 0;
    for (const CardOutcome& outcome : store_->CardOutcomes("", std::nullopt)) {
      count += outcome.error.empty() && (!change || (outcome.change == *change && outcome.card == card));
    }
    return count >= done;
  }

  TempDir dir_;
  CollectorConfig config_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<Fleet> fleet_;
  std::stop_source stop_;
  std::thread running_;
};

TEST_F(CardWorkTest, EachTerminalGetsExactlyItsCardsAndARevocationWakesThemAll) {
  Change({{{kGatesOnly, "1001", "Ann", {}, {}, {"gates"}, {}},
           {kEverywhere, "1002", "Bob", {}, {}, {"*"}, {}},
           {kCanteen, "1003", "张三", {}, {}, {"canteen"}, {}}},
          {},
          true});
  Start();
  // t1, t2: two enrolments each; t3: two, and its two unknown cards off.
  ASSERT_TRUE(Eventually([&] { return Settled(8); }, 30s));

  // The revocation: the poll interval is an hour, so only the change wakes
  // the workers.
  Change({{}, {kEverywhere}, false});
  ASSERT_TRUE(Eventually([&] { return Settled(3, CardChange::kRemove, kEverywhere); }, 20s))
      << "the revoked card is still pending somewhere";
  Stop();

  const std::map<uint32_t, std::string> t1 = ListOf(0);
  const std::map<uint32_t, std::string> t3 = ListOf(2);
  EXPECT_EQ(t1.size(), static_cast<size_t>(kSeeded + 1)) << "unknown cards are kept by default";
  EXPECT_EQ(t1.at(kGatesOnly), "00001001 Ann");
  EXPECT_EQ(ListOf(1).count(kEverywhere), 0u);
  const std::map<uint32_t, std::string> canteen_only = {{kCanteen, "00001003 张三"}};
  EXPECT_EQ(t3, canteen_only) << "no card of the gates, no unknown card, the name through GBK";
}

TEST_F(CardWorkTest, AnUnreachableTerminalKeepsItsChangesPendingAndGetsThemWhenItAnswers) {
  Change({{{kEverywhere, "1002", "Bob", {}, {}, {"*"}, {}}}, {}, true});
  Start();
  ASSERT_TRUE(Eventually([&] { return Settled(3); }, 30s));
  ASSERT_EQ(sim_->Control("stop #2").substr(0, 2), "ok");
  const UtcTime revoked = Now();
  Change({{}, {kEverywhere}, false});
  ASSERT_TRUE(Eventually([&] { return store_->PendingCards("t1", std::nullopt).empty() &&
                                      store_->PendingCards("t3", std::nullopt).empty(); },
                         20s));
  // t2 may still let the card in, and says so, since the revocation.
  std::vector<PendingCard> pending;
  ASSERT_TRUE(Eventually([&] { return !(pending = store_->PendingCards("t2", std::nullopt)).empty(); },
                         10s));
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].change, CardChange::kRemove);
  EXPECT_EQ(pending[0].reason, "revoked");
  EXPECT_LE(pending[0].since, Now());
  EXPECT_GE(pending[0].since, revoked);

  ASSERT_EQ(sim_->Control("start #2").substr(0, 2), "ok");
  EXPECT_TRUE(Eventually([&] { return store_->PendingCards("", std::nullopt).empty(); }, 40s))
      << "the terminal answers again, and its revocation waits for a backoff";
  Stop();
  EXPECT_EQ(ListOf(1).count(kEverywhere), 0u);
}

TEST_F(CardWorkTest, AnEnrolmentWhoseReplyIsLostIsTriedAgainSoonNotAtTheNextPoll) {
  // Every terminal loses the reply to its second enrolment; the poll
  // interval is an hour.
  ASSERT_EQ(sim_->Control("fault CardSendToMachine:2:drop").substr(0, 2), "ok");
  Change({{{kGatesOnly, "1001", "Ann", {}, {}, {"*"}, {}},
           {kEverywhere, "1002", "Bob", {}, {}, {"*"}, {}},
           {kCanteen, "1003", "Cy", {}, {}, {"*"}, {}}},
          {},
          true});
  Start();
  // The enrolment whose reply was lost was made: the list read again shows
  // it, so 8 changes are done (t3 also drops its two unknown cards).
  EXPECT_TRUE(Eventually([&] { return Settled(8); }, 40s))
      << "the cards left after the lost reply wait for the poll interval";
  Stop();
  EXPECT_EQ(ListOf(0).size(), static_cast<size_t>(kSeeded + 3));
}

TEST_F(CardWorkTest, ANameTheTerminalCannotHoldExactlyIsWrittenOnceNotAtEveryPoll) {
  struct Case {
    uint32_t card;
    std::string name;  // as kept, from before names were trimmed and checked
    std::string listed;  // as the terminal's list shows it
  };
  const Case cases[] = {
      {0xB00001, "Ann ", "Ann"},                 // the padding is dropped when read
      {0xB00002, "Annabelle Lee", "Annabell"},   // cut to the name field's 8 bytes
      {0xB00003, "张三李四王", "张三李四"},        // cut after a whole character
      {0xB00004, "😀Ann", "?Ann"},               // a character GBK lacks
      {0xB00005, std::string("A\0", 2), "A"},
  };
  std::vector<Cardholder> holders;
  for (const Case& c : cases) holders.push_back({c.card, "7", c.name, {}, {}, {"t1"}, {}});
  Change({holders, {}, true});
  // Each poll by a fleet of its own reads the terminal's list again first.
  for (int poll = 0; poll < 3; ++poll) Fleet(config_, *store_).PollOnce(stop_.get_token());

  const testing::TerminalCards on_terminal = ListOf(0);
  for (const Case& c : cases) {
    const std::vector<CardOutcome> history = store_->CardHistory(c.card, 10);
    ASSERT_EQ(history.size(), 1u) << c.listed << ": written more than once, or failed";
    EXPECT_EQ(history[0].change, CardChange::kAdd) << c.listed;
    EXPECT_EQ(history[0].error, "") << c.listed;
    EXPECT_EQ(on_terminal.at(c.card), "00000007 " + c.listed);
  }
  EXPECT_TRUE(store_->PendingCards("t1", std::nullopt).empty());
}

}  // namespace
}  // namespace tallygate::collector
