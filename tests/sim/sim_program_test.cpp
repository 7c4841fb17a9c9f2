// The tallygate-sim program end to end: over TCP and over its
// pseudo-terminal, with the control channel, faults, signals and options.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "sim/client/sim_process.h"
#include "sim/model/wire_pacer.h"
#include "sim/model/wire_shape.h"
#include "tests/support/temp_dir.h"

namespace tallygate::testing {
namespace {

using sim::SealedWire;
using Clock = std::chrono::steady_clock;

#define SKIP_WITHOUT_SIM() \
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim not built"

// The address byte and the sealed frame, as the host puts them on the wire.
Bytes Wire(uint8_t address, Bytes frame) {
  Bytes wire{address};
  const Bytes sealed = SealedWire(address, std::move(frame));
  wire.insert(wire.end(), sealed.begin(), sealed.end());
  return wire;
}

const Bytes kClearFlagReply{0x01, 0x00, 0x02, 0x03};

bool ExitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

TEST(SimProgram, AnswersClearFlagOverTcp) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0"});
  ASSERT_GT(sim.tcp_port(), 0);
  EXPECT_TRUE(sim.pty_path().empty());
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  // Address byte and frame as two writes, as the library sends them.
  host.Send({0x01});
  host.Send({0x03, 0x02, 0x00});
  EXPECT_EQ(host.Read(4), kClearFlagReply);
  EXPECT_TRUE(sim.WaitForLine(std::regex("^rx addr=1 cmd=0x02 ClearFlag -> reply 01 00 02 03$")));
}

TEST(SimProgram, ServesEveryAddressOnThePtyBus) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--pty", "--address", "1", "--address", "2", "--records", "300"});
  EXPECT_EQ(sim.tcp_port(), -1);
  ASSERT_FALSE(sim.pty_path().empty());
  HostEnd host = HostEnd::Pty(sim.pty_path());

  host.Send(Wire(2, MakeFrame(0xBB, {0x00})));
  EXPECT_EQ(host.Read(6), (Bytes{0x02, 0x00, 0xBB, 0x01, 0x2C, 0x94}));

  host.Send(Wire(3, MakeFrame(0x02)));  // nobody at 3
  EXPECT_TRUE(sim.WaitForLine(std::regex("addr=3 cmd=0x02 ClearFlag -> ignored")));
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), kClearFlagReply) << "a reply came for address 3, or none for 1";
}

TEST(SimProgram, PtyKeepsWorkingWhenTheHostReopensIt) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--pty"});
  for (int round = 0; round < 3; ++round) {
    HostEnd host = HostEnd::Pty(sim.pty_path());
    host.Send(Wire(1, MakeFrame(0x02)));
    EXPECT_EQ(host.Read(4), kClearFlagReply) << "round " << round;
  }
}

TEST(SimProgram, TcpAndPtyAtOnceShareTheFirstTerminal) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--pty", "--address", "4", "--address", "5", "--records", "7"});
  HostEnd tcp = HostEnd::Tcp(sim.tcp_port());
  HostEnd pty = HostEnd::Pty(sim.pty_path());
  tcp.Send(Wire(5, MakeFrame(0x02)));  // TCP serves terminal 4 only
  tcp.Send(Wire(4, MakeFrame(0x06)));
  EXPECT_EQ(tcp.Read(4), (Bytes{0x04, 0x00, 0x06, 0x02}));
  pty.Send(Wire(4, MakeFrame(0xBB, {0x00})));
  EXPECT_EQ(pty.Read(6), (Bytes{0x04, 0x00, 0xBB, 0x00, 0x00, 0xBF})) << "records not erased";
  pty.Send(Wire(5, MakeFrame(0xBB, {0x00})));
  EXPECT_EQ(pty.Read(6), (Bytes{0x05, 0x00, 0xBB, 0x00, 0x07, 0xB9}));
}

TEST(SimProgram, ControlChannelSeedsAndReportsState) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--storage-mode", "2", "--cards", "3"});
  EXPECT_EQ(sim.Control("status"),
            "ok status addr=1 records=0 cards=3 storage-mode=2 message=- message-time=0 sound=- "
            "password=0000 picture-blocks=0 faults=0 detail-lines=13");
  EXPECT_EQ(sim.Control("set-records 40000"), "ok set-records 40000 addr=1");
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(1, MakeFrame(0xBB, {0x00})));
  EXPECT_EQ(host.Read(6), (Bytes{0x01, 0x00, 0xBB, 0x9C, 0x40, 0x66}));
  host.Send(Wire(1, MakeFrame(0xCC, {0x00})));
  EXPECT_EQ(host.Read(6), (Bytes{0x01, 0x00, 0xCC, 0x00, 0x03, 0xCE}));

  host.Send(Wire(1, MakeFrame(0x44, {0x01})));
  EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x44, 0x45})) << "SetStorageModel acknowledgement";
  EXPECT_NE(sim.Control("status").find("storage-mode=1 "), std::string::npos);

  EXPECT_EQ(sim.Control("set-cards 2 9"), "error no terminal at address 9");
  EXPECT_EQ(sim.Control("set-records lots"), "error set-records needs a count from 0 to 1000000");
  EXPECT_EQ(sim.Control("frobnicate"), "error unknown or malformed command: frobnicate");
  EXPECT_EQ(sim.Control("fault nothing:1:drop"),
            "error fault rule \"nothing:1:drop\": unknown command \"nothing\"");
}

TEST(SimProgram, StatusShowsWhatTheTerminalShows) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--pty", "--address", "1"});
  HostEnd host = HostEnd::Pty(sim.pty_path());
  // Message "你好" (GB2312) for 5, voice prompt 3, clock, card enrolled.
  host.Send(Wire(1, {35, 0x20, 0x05, 0xC4, 0xE3, 0xBA, 0xC3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x20, 0x21}));
  host.Send(Wire(1, MakeFrame(0x25, {0x03})));
  EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x25, 0x24}));
  host.Send(Wire(1, MakeFrame(0x08, {0x26, 0x01, 0x31, 0x23, 0x59, 0x00, 0x06})));
  EXPECT_EQ(host.Read(4).size(), 4u);
  host.Send(Wire(1, MakeFrame(0x0A, {0, 0, 1, 0x2C, 0, 0, 1, 0x23, 0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0})));
  EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x0A, 0x0B}));
  EXPECT_TRUE(sim.WaitForLine(std::regex(
      "^rx addr=1 cmd=0x0A CardSendToMachine -> reply 01 00 0A 0B; enrolled card 0000012C staff "
      "00000123 name D5C5C8FD00000000 \"张三\"$")));

  EXPECT_EQ(sim.Control("present-card 4294967295 kind=9"), "ok present-card -1 (FFFFFFFF) kind 0x09 addr=1");
  EXPECT_EQ(sim.Control("present-card 4294967296"), "error present-card needs a 32-bit card number, not 4294967296");
  EXPECT_EQ(sim.Control("present-card 1 kind=256"), "error present-card kind must be a byte, not 256");
  EXPECT_EQ(sim.Control("present-card 1 7"), "error no terminal at address 7");

  const std::vector<std::string> status = sim.ControlBlock("status");
  const std::vector<std::string> expected{
      "ok status addr=1 records=0 cards=1 storage-mode=1 message=C4E3BAC3 message-time=5 sound=3 "
      "password=0000 picture-blocks=0 faults=0 detail-lines=11",
      "  clock 26-01-31 23:59:00 weekday 06",
      "  parameters 00000000000000000000000000",
      "  ring-schedule 1 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00",
      "  ring-schedule 2 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00",
      "  ring-schedule 3 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00",
      "  message \"你好\" for 5",
      "  sound 3 \"欢迎你\"",
      "  password 0000",
      "  reader -1 (FFFFFFFF) kind 0x09",
      "  card 0000012C staff 00000123 name D5C5C8FD00000000 \"张三\"",
      "  picture -"};
  EXPECT_EQ(status, expected);
}

TEST(SimProgram, RepairAddressMovesTheTerminalOnTheBus) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--pty", "--address", "1"});
  HostEnd host = HostEnd::Pty(sim.pty_path());
  host.Send(Wire(1, MakeFrame(0x07, {0x55, 0x09})));
  EXPECT_EQ(host.Read(5), (Bytes{0x09, 0x00, 0x07, 0x09, 0x07}));
  host.Send(Wire(9, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), (Bytes{0x09, 0x00, 0x02, 0x0B}));
  EXPECT_NE(sim.Control("status 9").find("addr=9 "), std::string::npos);
}

TEST(SimProgram, IgnoresAFrameWithABadCheckByte) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send({0x01, 0x03, 0x02, 0x01});
  EXPECT_TRUE(sim.WaitForLine(std::regex("^rx bad-check addr=1 cmd=0x02")));
  // Whatever the reader makes of the rejected bytes, the next frame, sent
  // after the host's silence, is answered and nothing else arrives.
  EXPECT_TRUE(sim.WaitForLine(std::regex("^rx discarded")));
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), kClearFlagReply);
  EXPECT_TRUE(host.ReadUntilQuiet(200ms).empty());
}

TEST(SimProgram, ControlFaultDropsOnlyTheNextMatchingReply) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0"});
  EXPECT_EQ(sim.Control("fault ClearFlag:next:drop"), "ok fault ClearFlag:next:drop");
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(1, MakeFrame(0x02)));
  ASSERT_TRUE(sim.WaitForLine(std::regex("ClearFlag -> no reply \\[fault ClearFlag:next:drop\\]")));
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), kClearFlagReply) << "the dropped reply came after all, or the next was lost";
  EXPECT_EQ(sim.Control("faults"), "ok faults count=1; ClearFlag:next:drop (seen 2)");
  EXPECT_EQ(sim.Control("clear-faults"), "ok clear-faults removed=1");
}

// The pty and the first terminal's TCP port share one plan: a rule added
// while running spoils the same unit on both lines, counts each line's frame
// once, and clear-faults takes it from both.
TEST(SimProgram, ControlFaultReachesTcpAndPtyAlike) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--pty", "--address", "1", "--quiet", "--records", "600"});
  struct Side {
    const char* name;
    HostEnd host;
  };
  Side sides[] = {{"tcp", HostEnd::Tcp(sim.tcp_port())}, {"pty", HostEnd::Pty(sim.pty_path())}};
  constexpr size_t kUnit = 16;
  constexpr size_t kPage = 256 * kUnit;
  // Page 2 as it arrives: `expected` bytes, then whatever else comes.
  const auto page_two = [](HostEnd& host, size_t expected) {
    host.Send(Wire(1, MakeFrame(0xBB, {0x02})));
    Bytes got = host.Read(expected);
    const Bytes more = host.ReadUntilQuiet(100ms);
    got.insert(got.end(), more.begin(), more.end());
    return got;
  };
  const Bytes whole = page_two(sides[1].host, kPage);
  ASSERT_EQ(whole.size(), kPage);
  Bytes without_unit_5 = whole;
  without_unit_5.erase(without_unit_5.begin() + 5 * kUnit, without_unit_5.begin() + 6 * kUnit);

  const std::string rule = "0xBB,page=2,unit=5:every:drop";
  ASSERT_EQ(sim.Control("fault " + rule), "ok fault " + rule);
  for (Side& side : sides) EXPECT_EQ(page_two(side.host, kPage - kUnit), without_unit_5) << side.name;
  EXPECT_EQ(sim.Control("faults"), "ok faults count=1; " + rule + " (seen 2)");
  EXPECT_EQ(sim.Control("clear-faults"), "ok clear-faults removed=1");
  for (Side& side : sides) EXPECT_EQ(page_two(side.host, kPage), whole) << side.name;
}

TEST(SimProgram, DelayFaultAnswersLate) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--fault", "ClearFlag:next:delay=1500"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  const auto sent = Clock::now();
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4, 20s), kClearFlagReply);
  EXPECT_GE(Clock::now() - sent, 1500ms);
}

TEST(SimProgram, CloseFaultClosesTheTcpConnection) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--fault", "GetStorageModel:1:close"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(1, MakeFrame(0x66)));
  EXPECT_TRUE(host.ClosedByPeer());
  HostEnd again = HostEnd::Tcp(sim.tcp_port());
  again.Send(Wire(1, MakeFrame(0x66)));
  EXPECT_EQ(again.Read(5), (Bytes{0x01, 0x00, 0x66, 0x01, 0x66}));
}

TEST(SimProgram, NewTcpClientReplacesTheOldOne) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0"});
  HostEnd first = HostEnd::Tcp(sim.tcp_port());
  first.Send(Wire(1, MakeFrame(0x02)));
  ASSERT_EQ(first.Read(4), kClearFlagReply);
  HostEnd second = HostEnd::Tcp(sim.tcp_port());
  EXPECT_TRUE(first.ClosedByPeer());
  second.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(second.Read(4), kClearFlagReply);
  EXPECT_TRUE(sim.WaitForLine(std::regex("^tcp client replaced by a new client$")));
}

TEST(SimProgram, ScenarioFileRulesWithComments) {
  SKIP_WITHOUT_SIM();
  TempDir dir;
  WriteFile(dir / "faults.txt",
            "# first reply spoiled, third one short\n"
            "\n"
            "any:1:bad-check   # whatever the command\n"
            "ClearFlag:3:short=2\n");
  SimProcess sim({"--tcp-port", "0", "--scenario", (dir / "faults.txt").string()});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x02, 0xFC}));
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), kClearFlagReply);
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(2), (Bytes{0x01, 0x00}));
  EXPECT_TRUE(host.ReadUntilQuiet().empty()) << "more than the first two bytes came";
}

TEST(SimProgram, WireSpeedPacesEveryExchange) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--wire-speed", "--quiet"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  // Each exchange is 4 characters each way at 1/1745 s: at least 4.5 ms.
  constexpr int kExchanges = 20;
  const auto start = Clock::now();
  for (int i = 0; i < kExchanges; ++i) {
    host.Send(Wire(1, MakeFrame(0x02)));
    ASSERT_EQ(host.Read(4), kClearFlagReply);
  }
  EXPECT_GE(Clock::now() - start, kExchanges * 8 * sim::kSerialCharTime);
}

TEST(SimProgram, QuietLeavesOutTheLogButNotTheAnswers) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--quiet"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(1, MakeFrame(0x02)));
  ASSERT_EQ(host.Read(4), kClearFlagReply);
  EXPECT_EQ(sim.Control("quit"), "ok quit");
  ASSERT_TRUE(sim.WaitForExit());
  EXPECT_THROW(sim.Control("status"), std::system_error) << "talking to a finished program";
  for (const std::string& line : sim.Lines()) {
    EXPECT_EQ(line.find("rx "), std::string::npos) << line;
    EXPECT_EQ(line.find("tcp client"), std::string::npos) << line;
  }
}

class StopsCleanly : public ::testing::TestWithParam<int> {};

TEST_P(StopsCleanly, OnSignal) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port", "0", "--pty"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  ASSERT_EQ(::kill(sim.pid(), GetParam()), 0);
  const std::optional<int> status = sim.WaitForExit();
  ASSERT_TRUE(status);
  EXPECT_TRUE(ExitedWith(*status, 0)) << "status " << *status;
}

INSTANTIATE_TEST_SUITE_P(Signals, StopsCleanly, ::testing::Values(SIGTERM, SIGINT));

TEST(SimProgram, EndOfStdinStopsOnlyWithExitOnEof) {
  SKIP_WITHOUT_SIM();
  SimProcess keeps({"--tcp-port", "0"});
  SimProcess stops({"--tcp-port", "0", "--exit-on-eof"});
  keeps.CloseStdin();
  stops.CloseStdin();
  const std::optional<int> status = stops.WaitForExit();
  ASSERT_TRUE(status);
  EXPECT_TRUE(ExitedWith(*status, 0));
  HostEnd host = HostEnd::Tcp(keeps.tcp_port());
  host.Send(Wire(1, MakeFrame(0x02)));
  EXPECT_EQ(host.Read(4), kClearFlagReply) << "stopped serving after the end of its input";
  EXPECT_TRUE(ExitedWith(keeps.Stop(), 0));
}

TEST(SimProgram, RefusesBadOptionsAndHelpDocumentsFaults) {
  SKIP_WITHOUT_SIM();
  const std::string program = SimProcess::ProgramPath();
  TempDir dir;
  // A refusal is one line on standard error naming what is wrong.
  struct Run {
    std::string args;
    int code;
    std::string named;
  };
  for (const Run& run :
       {Run{"--help", 0, ""}, Run{"--version", 0, ""}, Run{"--frobnicate", 2, "--frobnicate"},
        Run{"--address 256", 2, "256"}, Run{"--address 1 --address 1", 2, "1 given twice"},
        Run{"--address=010 --address 10", 2, "10 given twice"}, Run{"--fault any:0:drop", 2, "any:0:drop"},
        Run{"--scenario /nonexistent/faults.txt", 2, "/nonexistent/faults.txt"},
        Run{"--scenario=/nonexistent/faults.txt", 2, "/nonexistent/faults.txt"}, Run{"--records", 2, "--records"},
        Run{"--silence-ms=0", 2, "--silence-ms"}, Run{"--quiet surplus", 2, "surplus"}}) {
    const std::filesystem::path err = dir / "err.txt";
    const int status =
        std::system(("timeout 20 " + program + " " + run.args + " >/dev/null 2>" + err.string() + " </dev/null").c_str());
    EXPECT_TRUE(ExitedWith(status, run.code)) << run.args << ": status " << status;
    if (run.code == 0) continue;
    const std::string text = ReadFile(err);
    EXPECT_TRUE(text.starts_with("tallygate-sim: ") && text.ends_with(" (try: tallygate-sim --help)\n") &&
                std::count(text.begin(), text.end(), '\n') == 1 && text.find(run.named) != std::string::npos)
        << run.args << ": " << text;
  }
  ASSERT_EQ(std::system((program + " --version >" + (dir / "version.txt").string()).c_str()), 0);
  EXPECT_TRUE(std::regex_match(ReadFile(dir / "version.txt"), std::regex("tallygate-sim \\d+\\.\\d+\\.\\d+\n")));
  ASSERT_EQ(std::system((program + " --help >" + (dir / "help.txt").string()).c_str()), 0);
  const std::string help = ReadFile(dir / "help.txt");
  for (const char* word : {"--tcp-port", "--pty", "--fault", "--scenario", "--wire-speed",
                           "TARGET:WHEN:KIND", "wrong-echo", "set-records"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

TEST(SimProgram, TakesOptionValuesAfterAnEqualsSign) {
  SKIP_WITHOUT_SIM();
  SimProcess sim({"--tcp-port=0", "--address=7", "--records=300", "--fault=ClearFlag:next:drop"});
  HostEnd host = HostEnd::Tcp(sim.tcp_port());
  host.Send(Wire(7, MakeFrame(0xBB, {0x00})));
  EXPECT_EQ(host.Read(6), (Bytes{0x07, 0x00, 0xBB, 0x01, 0x2C, 0x91}));
  EXPECT_EQ(sim.Control("faults"), "ok faults count=1; ClearFlag:next:drop (seen 0)");
}

TEST(SimProgram, ReportsATcpPortInUse) {
  SKIP_WITHOUT_SIM();
  SimProcess first({"--tcp-port", "0"});
  EXPECT_THROW(SimProcess({"--tcp-port", std::to_string(first.tcp_port())}), std::runtime_error);
}

}  // namespace
}  // namespace tallygate::testing
