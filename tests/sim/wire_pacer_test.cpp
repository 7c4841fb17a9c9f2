// Wire pacing at 19200 bit/s with 11-bit characters, and the host line that
// puts pacing, frame reader, bus and faults together. Driven with made-up
// times, so nothing here waits.
#include "sim/model/wire_pacer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/model/host_line.h"
#include "sim/model/wire_shape.h"

namespace tallygate::sim {
namespace {

using namespace std::chrono_literals;

const TimePoint kStart = TimePoint{} + 1h;
constexpr auto kChar = kSerialCharTime;

TEST(WirePacer, CharacterTimeIs11BitsAt19200) {
  // About 1745 characters a second.
  EXPECT_EQ(1s / kChar, 1745);
}

TEST(WirePacer, ReleasesOneByteEachCharacterTime) {
  WirePacer pacer(kChar);
  pacer.Push(Bytes{1, 2, 3, 4}, kStart);
  EXPECT_EQ(pacer.next_release(), kStart + kChar);
  EXPECT_TRUE(pacer.Release(kStart + kChar - 1ns).bytes.empty());
  EXPECT_EQ(pacer.Release(kStart + 2 * kChar).bytes, (Bytes{1, 2}));
  EXPECT_EQ(pacer.Release(kStart + 10 * kChar).bytes, (Bytes{3, 4}));
  EXPECT_TRUE(pacer.empty());
}

TEST(WirePacer, LaterBytesQueueBehindEarlierOnes) {
  WirePacer pacer(kChar);
  pacer.Push(Bytes{1, 2}, kStart);
  pacer.Push(Bytes{3}, kStart);  // the line is busy until 2 characters in
  EXPECT_EQ(pacer.Release(kStart + 2 * kChar).bytes, (Bytes{1, 2}));
  EXPECT_EQ(pacer.next_release(), kStart + 3 * kChar);
  // After the line has been idle, bytes start from the time they are pushed.
  pacer.Release(kStart + 1s);
  pacer.Push(Bytes{4}, kStart + 2s);
  EXPECT_EQ(pacer.next_release(), kStart + 2s + kChar);
}

TEST(WirePacer, PauseComesAfterWhatIsQueued) {
  WirePacer pacer(kChar);
  pacer.Push(Bytes{1}, kStart);
  pacer.Push(Bytes{2}, kStart, 100ms);
  EXPECT_EQ(pacer.Release(kStart + 100ms).bytes, (Bytes{1}));
  EXPECT_TRUE(pacer.Release(kStart + kChar + 100ms).bytes.empty());
  EXPECT_EQ(pacer.Release(kStart + 2 * kChar + 100ms).bytes, (Bytes{2}));
}

TEST(WirePacer, UnpacedBytesLeaveAtOnceAndCloseStopsTheRelease) {
  WirePacer pacer;
  pacer.Push(Bytes{1, 2}, kStart);
  pacer.PushClose(kStart);
  pacer.Push(Bytes{3}, kStart);
  const WirePacer::Released first = pacer.Release(kStart);
  EXPECT_EQ(first.bytes, (Bytes{1, 2}));
  EXPECT_TRUE(first.close);
  EXPECT_EQ(pacer.Release(kStart).bytes, (Bytes{3}));
}

class HostLineTest : public ::testing::Test {
 protected:
  HostLine MakeLine(std::chrono::nanoseconds char_time, bool can_close = true) {
    bus_.Attach(terminal_);
    HostLineOptions options;
    options.char_time = char_time;
    options.can_close = can_close;
    return HostLine(bus_, faults_, options, [this](const std::string& line) { log_.push_back(line); });
  }

  Bytes ClearFlagOnWire() {
    Bytes wire{0x01};
    const Bytes frame = SealedWire(1, MakeFrame(0x02));
    wire.insert(wire.end(), frame.begin(), frame.end());
    return wire;
  }

  Terminal terminal_{1};
  Bus bus_;
  FaultPlan faults_;
  std::vector<std::string> log_;
};

TEST_F(HostLineTest, AtWireSpeedAFrameCountsOnlyAfterItsLastCharacter) {
  HostLine line = MakeLine(kChar);
  line.Receive(ClearFlagOnWire(), kStart);
  line.Advance(kStart + 3 * kChar);
  EXPECT_TRUE(log_.empty()) << "answered before the frame was through";
  line.Advance(kStart + 4 * kChar);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0], "rx addr=1 cmd=0x02 ClearFlag -> reply 01 00 02 03");
  // The four reply bytes take four more character times.
  EXPECT_EQ(line.TakeOutput(kStart + 7 * kChar).bytes.size(), 3u);
  EXPECT_EQ(line.TakeOutput(kStart + 8 * kChar).bytes, (Bytes{0x03}));
}

TEST_F(HostLineTest, WithoutPacingTheReplyIsDueAtOnce) {
  HostLine line = MakeLine(0ns);
  line.Receive(ClearFlagOnWire(), kStart);
  EXPECT_EQ(line.TakeOutput(kStart).bytes, (Bytes{0x01, 0x00, 0x02, 0x03}));
  EXPECT_FALSE(line.next_deadline().has_value());
}

TEST_F(HostLineTest, DelayFaultHoldsTheReplyBack) {
  HostLine line = MakeLine(0ns);
  faults_.Add(ParseFaultRule("ClearFlag:next:delay=3000"));
  line.Receive(ClearFlagOnWire(), kStart);
  EXPECT_TRUE(line.TakeOutput(kStart + 2999ms).bytes.empty());
  EXPECT_EQ(line.next_deadline(), kStart + 3000ms);
  EXPECT_EQ(line.TakeOutput(kStart + 3000ms).bytes, (Bytes{0x01, 0x00, 0x02, 0x03}));
  EXPECT_NE(log_.at(0).find("after 3000 ms [fault ClearFlag:next:delay=3000]"), std::string::npos) << log_[0];
}

TEST_F(HostLineTest, CloseFaultOnASerialLineIsOnlySilence) {
  HostLine line = MakeLine(0ns, /*can_close=*/false);
  faults_.Add(ParseFaultRule("any:next:close"));
  line.Receive(ClearFlagOnWire(), kStart);
  const WirePacer::Released out = line.TakeOutput(kStart + 1s);
  EXPECT_TRUE(out.bytes.empty());
  EXPECT_FALSE(out.close);
  EXPECT_NE(log_.at(0).find("no reply, close ignored on a serial line"), std::string::npos) << log_[0];
}

TEST_F(HostLineTest, LogsBadCheckAndFramesForOtherAddresses) {
  HostLine line = MakeLine(0ns);
  line.Receive(Bytes{0x01, 0x03, 0x02, 0x01}, kStart);
  line.Advance(kStart + 1s);
  line.Receive(Bytes{0x02, 0x03, 0x02, 0x03}, kStart + 2s);
  ASSERT_GE(log_.size(), 3u);
  EXPECT_EQ(log_[0], "rx bad-check addr=1 cmd=0x02 ClearFlag 03 02 01 -> ignored");
  EXPECT_EQ(log_.back(), "rx addr=2 cmd=0x02 ClearFlag -> ignored (no terminal at this address)");
  EXPECT_TRUE(line.TakeOutput(kStart + 3s).bytes.empty());
}


// An answer the host does not wait for (storage mode) is held back, and
// given up when the host goes on first, so it cannot run into the next
// command's reply.
Bytes StorageModeOnWire() {
  Bytes wire{0x01};
  const Bytes frame = SealedWire(1, MakeFrame(0x44, {0x02}));
  wire.insert(wire.end(), frame.begin(), frame.end());
  return wire;
}

TEST_F(HostLineTest, UnawaitedAnswerComesAfterItsHold) {
  HostLine line = MakeLine(0ns);
  line.Receive(StorageModeOnWire(), kStart);
  EXPECT_TRUE(line.TakeOutput(kStart + 149ms).bytes.empty());
  EXPECT_EQ(line.TakeOutput(kStart + 150ms).bytes, (Bytes{0x01, 0x00, 0x44, 0x45}));
  EXPECT_EQ(log_.at(0),
            "rx addr=1 cmd=0x44 SetStorageModel -> reply 01 00 44 45 after 150 ms unless the host "
            "speaks first; storage mode 2");
}

TEST_F(HostLineTest, UnawaitedAnswerIsWithdrawnWhenTheHostSpeaksFirst) {
  HostLine line = MakeLine(0ns);
  line.Receive(StorageModeOnWire(), kStart);
  line.Receive(ClearFlagOnWire(), kStart + 5ms);
  EXPECT_EQ(line.TakeOutput(kStart + 1s).bytes, (Bytes{0x01, 0x00, 0x02, 0x03}))
      << "the storage mode answer came, or the next reply was held behind it";
  EXPECT_EQ(log_.at(1), "reply withdrawn: 4 bytes, the host spoke first");
  EXPECT_EQ(terminal_.state().storage_mode, 2) << "the mode was stored all the same";
}

TEST_F(HostLineTest, UnawaitedAnswerIsWithdrawnForAFrameInTheSameRead) {
  HostLine line = MakeLine(0ns);
  Bytes both = StorageModeOnWire();
  const Bytes next = ClearFlagOnWire();
  both.insert(both.end(), next.begin(), next.end());
  line.Receive(both, kStart);
  EXPECT_EQ(line.TakeOutput(kStart).bytes, (Bytes{0x01, 0x00, 0x02, 0x03}));
  EXPECT_TRUE(line.TakeOutput(kStart + 1s).bytes.empty());
}

TEST(WirePacer, WithdrawTakesBackOnlyWithdrawableBytes) {
  WirePacer pacer(kChar);
  pacer.Push(Bytes{1, 2}, kStart);
  pacer.Push(Bytes{3, 4}, kStart, 10ms, /*withdrawable=*/true);
  EXPECT_EQ(pacer.Withdraw(), 2u);
  EXPECT_EQ(pacer.Withdraw(), 0u);
  EXPECT_EQ(pacer.Release(kStart + 1s).bytes, (Bytes{1, 2}));
  // The line is free again at once.
  pacer.Push(Bytes{5}, kStart + 1s);
  EXPECT_EQ(pacer.next_release(), kStart + 1s + kChar);
}

}  // namespace
}  // namespace tallygate::sim
