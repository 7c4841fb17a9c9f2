// tallygate-sim as a fleet and as a terminal in use: a port, a memory and
// fault rules per terminal, card swipes while it runs and at a rate changed
// while running, a full memory, the history of every record held, a port
// that goes away and comes back.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sim/client/sim_process.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_view.h"
#include "sim/model/wire_shape.h"

namespace tallygate::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Units = std::vector<std::string>;

#define SKIP_WITHOUT_SIM() \
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim not built"

Bytes Wire(uint8_t address, Bytes frame) {
  Bytes wire{address};
  const Bytes sealed = sim::SealedWire(address, std::move(frame));
  wire.insert(wire.end(), sealed.begin(), sealed.end());
  return wire;
}

// The record count a terminal reports on page 0 of 0xBB.
int CountOver(HostEnd& host) {
  host.Send(Wire(1, MakeFrame(0xBB, {0x00})));
  const Bytes reply = host.Read(6);
  return reply.size() == 6 ? reply[3] << 8 | reply[4] : -1;
}

Units Held(SimProcess& sim, const std::string& target) {
  std::optional<Units> units = sim.RecordUnits(target);
  EXPECT_TRUE(units) << "dump-records " << target;
  return units.value_or(Units{});
}

Units History(SimProcess& sim, const std::string& target) {
  std::optional<Units> units = sim.HistoryUnits(target);
  EXPECT_TRUE(units) << "dump-history " << target;
  return units.value_or(Units{});
}

// Terminal K's frames in the log, in order: 'x' for each left unanswered,
// '.' for each answered.
std::string Answered(SimProcess& sim, int k) {
  const std::string prefix = "#" + std::to_string(k) + " rx addr=";
  std::string marks;
  for (const std::string& line : sim.Lines()) {
    if (line.starts_with(prefix)) marks += line.find("-> no reply") != std::string::npos ? 'x' : '.';
  }
  return marks;
}

// Card (bytes 3-6) and flag (byte 13) of a unit: what the seed decides.
std::string CardAndFlag(const std::string& unit) { return unit.substr(6, 8) + unit.substr(26, 2); }

TEST(SimFleet, EachTerminalAnswersOnItsOwnPortFromItsOwnMemory) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-terminals", "3", "--tcp-port", "0", "--records", "4", "--quiet"});
  ASSERT_EQ(sim.tcp_ports().size(), 3u);
  std::set<Units> seen;
  for (size_t k = 0; k < 3; ++k) {
    HostEnd host = HostEnd::Tcp(sim.tcp_ports()[k]);
    host.Send(Wire(1, MakeFrame(0xBB, {0x01})));
    const Bytes page = host.Read(4 * 16);
    ASSERT_EQ(page.size(), 64u) << "terminal " << k + 1;
    Units units;
    for (size_t at = 0; at < page.size(); at += 16) {
      units.push_back(sim::HexDigits(std::span<const uint8_t>(page).subspan(at, 16)));
    }
    EXPECT_EQ(units, Held(sim, "#" + std::to_string(k + 1))) << "port and #K name different terminals";
    seen.insert(units);
  }
  EXPECT_EQ(seen.size(), 3u) << "terminals share their records";
}

TEST(SimFleet, SwipesAccumulateAtTheRateWithNothingLostOrReordered) {
  SKIP_WITHOUT_SIM();
  const auto start = Clock::now();
  SimProcess sim({"--tcp-terminals", "2", "--tcp-port", "0", "--records", "2", "--punch-rate", "20", "--quiet"});
  const Units before = Held(sim, "#2");
  Units after;
  for (auto deadline = Clock::now() + 10s; after.size() < before.size() + 5 && Clock::now() < deadline;) {
    std::this_thread::sleep_for(50ms);
    after = Held(sim, "#2");
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_GE(after.size(), before.size() + 5) << "no swipes arrived";
  EXPECT_LE(after.size(), 2 + static_cast<size_t>(20 * elapsed) + 1) << "more swipes than the rate allows";
  EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin())) << "held records changed";
  EXPECT_NE(after[2].substr(14, 2), "24") << "a swipe was stamped with the seeded records' year";
}

TEST(SimFleet, SwipedCardsFollowTheSeedAndTheCardList) {
  SKIP_WITHOUT_SIM();
  SimProcess one({"--tcp-terminals", "2", "--tcp-port", "0", "--quiet"});
  SimProcess two({"--tcp-terminals", "2", "--tcp-port", "0", "--cards", "2", "--quiet"});
  ASSERT_EQ(one.Control("add-records 12 #2"), "ok add-records 12 addr=1 stored=12 records=12");
  ASSERT_EQ(one.Control("add-records 12 #1"), "ok add-records 12 addr=1 stored=12 records=12");
  ASSERT_EQ(two.Control("add-records 12 #2"), "ok add-records 12 addr=1 stored=12 records=12");
  Units first, second, listed;
  for (const std::string& unit : Held(one, "#1")) first.push_back(CardAndFlag(unit));
  for (const std::string& unit : Held(one, "#2")) second.push_back(CardAndFlag(unit));
  EXPECT_NE(first, second) << "terminals of a fleet swipe the same cards";
  const std::set<std::string> cards{sim::HexDigits(sim::SyntheticCardNumber(0)),
                                    sim::HexDigits(sim::SyntheticCardNumber(1))};
  for (const std::string& unit : Held(two, "#2")) {
    EXPECT_TRUE(cards.contains(unit.substr(6, 8))) << "a card not on the list: " << unit;
  }
  SimProcess again({"--tcp-terminals", "2", "--tcp-port", "0", "--quiet"});
  ASSERT_EQ(again.Control("add-records 12 #2"), "ok add-records 12 addr=1 stored=12 records=12");
  for (const std::string& unit : Held(again, "#2")) listed.push_back(CardAndFlag(unit));
  EXPECT_EQ(listed, second) << "the same seed swiped other cards";
}

TEST(SimFleet, AFullMemoryRefusesSwipesUntilCleared) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--capacity", "5", "--records", "3", "--quiet"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  struct Step {
    std::string command;
    std::string answer;
    int count;  // the count the terminal then reports
  };
  for (const Step& step : {Step{"add-records 4", "ok add-records 4 addr=1 stored=2 records=5", 5},
                           Step{"add-records 1", "ok add-records 1 addr=1 stored=0 records=5", 5},
                           Step{"set-records 0", "ok set-records 0 addr=1", 0},
                           Step{"add-records 6", "ok add-records 6 addr=1 stored=5 records=5", 5}}) {
    EXPECT_EQ(sim.Control(step.command), step.answer);
    EXPECT_EQ(CountOver(host), step.count) << step.command;
  }
  EXPECT_NE(sim.Control("status").find(" records=5 "), std::string::npos);
  EXPECT_NE(sim.Control("status").find(" capacity=5 refused=4 "), std::string::npos);
  host.Send(Wire(1, MakeFrame(0x06)));  // ClearRecord
  ASSERT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x06, 0x07}));
  EXPECT_EQ(sim.Control("add-records 1"), "ok add-records 1 addr=1 stored=1 records=1");

  // Without --capacity a terminal holds what a count below 0x8000 reports.
  SimProcess plain({"--tcp-port", "0", "--quiet"});
  EXPECT_EQ(plain.Control("set-records 32766"), "ok set-records 32766 addr=1");
  EXPECT_EQ(plain.Control("add-records 2"), "ok add-records 2 addr=1 stored=1 records=32767");
  EXPECT_NE(plain.Control("status").find(" capacity=32767 refused=1 "), std::string::npos);
}

TEST(SimFleet, AStoppedTerminalRefusesConnectionsAndComesBackWithItsMemory) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-terminals", "2", "--tcp-port", "0", "--records", "3", "--quiet"});
  const int port = sim.tcp_ports()[1];
  HostEnd before = HostEnd::Tcp(port);
  ASSERT_EQ(CountOver(before), 3);
  EXPECT_EQ(sim.Control("stop #2"), "ok stop #2 port=" + std::to_string(port));
  EXPECT_TRUE(before.ClosedByPeer()) << "the connected client stayed";
  EXPECT_THROW(HostEnd::Tcp(port), std::system_error) << "a stopped terminal took a connection";
  HostEnd other = HostEnd::Tcp(sim.tcp_ports()[0]);
  EXPECT_EQ(CountOver(other), 3) << "stopping #2 stopped #1";
  EXPECT_EQ(sim.Control("add-records 1 #2"), "ok add-records 1 addr=1 stored=1 records=4");
  EXPECT_EQ(sim.Control("start #2"), "ok start #2 port=" + std::to_string(port));
  HostEnd after = HostEnd::Tcp(port);
  EXPECT_EQ(CountOver(after), 4);
}

TEST(SimFleet, EveryTerminalAppliesTheRulesToItsOwnFramesAndDrawsBySeed) {
  SKIP_WITHOUT_SIM();
  constexpr size_t kFlags = 60;
  std::vector<std::string> runs[2];
  for (std::vector<std::string>& marks : runs) {
    SimProcess sim({"--tcp-terminals", "2", "--tcp-port", "0", "--seed", "7", "--fault", "ClearRecord:next:drop",
                    "--fault", "ClearFlag:40%:drop"});
    for (int k = 1; k <= 2; ++k) {
      HostEnd host = HostEnd::Tcp(sim.tcp_ports()[static_cast<size_t>(k - 1)]);
      std::vector<Bytes> frames(kFlags, MakeFrame(0x02));
      frames.insert(frames.begin(), MakeFrame(0x06));
      frames.push_back(MakeFrame(0xBB, {0x00}));  // logged last: the burst is done
      for (const Bytes& frame : frames) host.Send(Wire(1, frame));
      ASSERT_TRUE(sim.WaitForLine(std::regex("^#" + std::to_string(k) + " rx addr=1 cmd=0xBB")));
      const std::string answered = Answered(sim, k);
      ASSERT_EQ(answered.size(), kFlags + 2);
      EXPECT_EQ(answered.front(), 'x') << "#" << k << " answered the ClearRecord its `next` rule drops";
      marks.push_back(answered);
    }
  }
  EXPECT_EQ(runs[0], runs[1]) << "the same seed hit other frames";
  EXPECT_NE(runs[0][0], runs[0][1]) << "terminals of a fleet drew alike";
}

TEST(SimFleet, HistoryKeepsEveryRecordEverHeldInTheOrderItCame) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-terminals", "2", "--tcp-port", "0", "--records", "2", "--quiet"});
  HostEnd host = HostEnd::Tcp(sim.tcp_ports()[1]);
  struct Step {
    std::string control;  // or, when empty, `frame` sent by the host
    Bytes frame;
    size_t held;
    size_t history;
  };
  const Bytes written = MakeFrame(0x1A, {0, 0x12, 0xD6, 0x87, 0x24, 0x03, 0x15, 0x08, 0x30, 0x05, 0x01, 0x99});
  Units before;
  for (const Step& step : {Step{"status #2", {}, 2, 2}, Step{"add-records 2 #2", {}, 4, 4},
                           Step{"", written, 5, 5}, Step{"", MakeFrame(0x06), 0, 5},
                           Step{"set-records 3 #2", {}, 3, 8}, Step{"add-records 1 #2", {}, 4, 9}}) {
    SCOPED_TRACE(step.control.empty() ? "frame " + sim::HexDigits(step.frame) : step.control);
    if (step.control.empty()) {
      host.Send(Wire(1, step.frame));
      EXPECT_EQ(host.Read(4).size(), 4u);
    } else {
      EXPECT_TRUE(sim.Control(step.control).starts_with("ok "));
    }
    const Units held = Held(sim, "#2");
    const Units history = History(sim, "#2");
    ASSERT_EQ(held.size(), step.held);
    ASSERT_EQ(history.size(), step.history);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), history.begin())) << "history rewritten";
    EXPECT_TRUE(std::equal(held.rbegin(), held.rend(), history.rbegin())) << "held records not the history's end";
    before = history;
  }
  EXPECT_EQ(History(sim, "#1"), Held(sim, "#1")) << "#2's records reached #1's history";
}

TEST(SimFleet, PunchRateChangesOrStopsArrivalsWhileRunning) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-terminals", "2", "--tcp-port", "0", "--punch-rate", "50", "--quiet"});
  struct Step {
    std::string command;
    std::string answer;
    bool grows[2];  // whether #1, #2 go on receiving swipes
  };
  for (const Step& step : {Step{"punch-rate 0 #1", "ok punch-rate 0 terminals=1", {false, true}},
                           Step{"punch-rate 0", "ok punch-rate 0 terminals=2", {false, false}},
                           Step{"punch-rate 40 #2", "ok punch-rate 40 terminals=1", {false, true}},
                           Step{"punch-rate 20.5", "ok punch-rate 20.5 terminals=2", {true, true}}}) {
    ASSERT_EQ(sim.Control(step.command), step.answer);
    const size_t before[2] = {Held(sim, "#1").size(), Held(sim, "#2").size()};
    size_t after[2] = {};
    const auto start = Clock::now();
    for (bool waiting = true; waiting;) {
      std::this_thread::sleep_for(100ms);
      after[0] = Held(sim, "#1").size();
      after[1] = Held(sim, "#2").size();
      const bool grown = (!step.grows[0] || after[0] > before[0]) && (!step.grows[1] || after[1] > before[1]);
      waiting = Clock::now() - start < (grown ? 400ms : 5s);
    }
    for (size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(after[k] > before[k], step.grows[k]) << step.command << ": #" << k + 1;
    }
  }
}

TEST(SimFleet, NamesOnlyTerminalsThatExistAndRefusesFleetsThatCannotBe) {
  SKIP_WITHOUT_SIM();
  SimProcess fleet({"--tcp-terminals", "3", "--tcp-port", "0", "--quiet"});
  SimProcess serial({"--pty", "--quiet"});
  struct Ask {
    SimProcess* sim;
    std::string command;
    std::string answer;
  };
  for (const Ask& ask : {Ask{&fleet, "status #0", "error no TCP terminal #0"},
                         Ask{&fleet, "dump-records #4", "error no TCP terminal #4"},
                         Ask{&fleet, "dump-history #4", "error no TCP terminal #4"},
                         Ask{&fleet, "faults #4", "error no TCP terminal #4"},
                         Ask{&fleet, "punch-rate 1 #4", "error no TCP terminal #4"},
                         Ask{&fleet, "punch-rate 1001",
                             "error punch-rate needs swipes a second from 0 to 1000, not 1001"},
                         Ask{&fleet, "add-records 1 #x", "error no TCP terminal #x"},
                         Ask{&fleet, "stop 2", "error no terminal at address 2"},
                         Ask{&serial, "stop", "error the terminal at address 1 serves no TCP port"},
                         Ask{&serial, "start #1", "error no TCP terminal #1"}}) {
    EXPECT_EQ(ask.sim->Control(ask.command), ask.answer);
  }
  for (const char* args : {"--tcp-terminals 2 --pty", "--tcp-terminals 2 --address 1 --address 2",
                           "--tcp-terminals 3 --tcp-port 65534", "--tcp-terminals 1001",
                           "--punch-rate -1", "--punch-rate nan", "--capacity x"}) {
    const int status = std::system(("timeout 20 " + SimProcess::ProgramPath() + " " + args +
                                    " >/dev/null 2>/dev/null </dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args << ": status " << status;
  }
}

}  // namespace
}  // namespace tallygate::testing
