#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/host_capture.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;

// A terminal that answers each command with a valid reply of the command's
// length, echoing the command; GetStorageModel reports mode 2 and
// RepairAddress answers from the new address.
Bytes Terminal(uint8_t address, const Bytes& frame) {
  switch (frame[1]) {
    case 0x07: return MakeReply(frame[3], 0x07, std::vector<uint8_t>{frame[3]}, 5);
    case 0x44: return MakeReply(address, 0x44, {}, 4);  // an acknowledgement nobody waits for
    case 0x66: return MakeReply(address, 0x66, std::vector<uint8_t>{0x02}, 5);
    default: return MakeReply(address, frame[1], {}, 4);
  }
}

// Frames after the address byte 0x01.
const testing::FrameCase kCases[] = {
    {"ClearFlag", [](Connect_v70& o) { return int{o.ClearFlag(1)}; }, {0x03, 0x02, 0x00}, 1},
    {"RepairAddress 1 to 9", [](Connect_v70& o) { return int{o.RepairAddress(1, 9)}; },
     {0x05, 0x07, 0x55, 0x09, 0x5F}, 1},
    {"ClearRecord", [](Connect_v70& o) { return int{o.ClearRecord(1)}; }, {0x03, 0x06, 0x04}, 1},
    {"ClearNameList", [](Connect_v70& o) { return int{o.ClearNameList(1)}; },
     {0x03, 0x0C, 0x0E}, 1},
    {"SetStorageModel 2", [](Connect_v70& o) { return int{o.SetStorageModel(1, 2)}; },
     {0x04, 0x44, 0x02, 0x43}, 1},
    {"SetStorageModel default", [](Connect_v70& o) { return int{o.SetStorageModel(1)}; },
     {0x04, 0x44, 0x01, 0x40}, 1},
    {"GetStorageModel", [](Connect_v70& o) { return int{o.GetStorageModel(1)}; },
     {0x03, 0x66, 0x64}, 2},
};

class MemoryMaintenanceTest : public testing::ObjectTest {};

TEST_F(MemoryMaintenanceTest, FramesAndResultsOnTheSerialBus) {
  ExpectFramesOnTheSerialBus(kCases, Terminal, testing::CheckByte::kInFrame);
}

TEST_F(MemoryMaintenanceTest, FramesAndResultsOverTcp) {
  ExpectFramesOverTcp(kCases, Terminal, testing::CheckByte::kInFrame);
}

TEST_F(MemoryMaintenanceTest, WrongEchoFailsTheCommandsThatTestIt) {
  UseSerial();
  // Every reply is valid but echoes 0x0C.
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes& frame) {
    return MakeReply(address, 0x0C, std::vector<uint8_t>{0x02}, frame[1] == 0x66 ? 5 : 4);
  });
  EXPECT_FALSE(object_->ClearRecord(1));
  EXPECT_TRUE(object_->ClearNameList(1));
  EXPECT_EQ(object_->GetStorageModel(1), -1);
  EXPECT_TRUE(object_->ClearFlag(1)) << "ClearFlag does not test the echo";
}

TEST_F(MemoryMaintenanceTest, ValuesOutsideAByteSendNothing) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  EXPECT_FALSE(object_->ClearFlag(256));
  EXPECT_FALSE(object_->ClearFlag(-1));
  EXPECT_FALSE(object_->RepairAddress(1, 256));
  EXPECT_FALSE(object_->ClearRecord(300));
  EXPECT_EQ(object_->GetStorageModel(-5), -1);
  EXPECT_FALSE(object_->SetStorageModel(1, 3));
  EXPECT_FALSE(object_->SetStorageModel(1, 0));
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(MemoryMaintenanceTest, NoAnswerIsFailure) {
  UseSerial();
  EXPECT_FALSE(object_->ClearFlag(1));
  EXPECT_EQ(object_->GetStorageModel(1), -1);
  EXPECT_EQ(link_.port().writes.size(), 4u);
}

// The terminal's answer to a storage-mode change has no defined form: the
// command succeeds when it was sent, and whatever the terminal answers does
// not reach the next command.
TEST_F(MemoryMaintenanceTest, StorageModeAnswerDoesNotReachTheNextCommand) {
  for (bool tcp : {false, true}) {
    if (tcp) {
      UseTcp();
      AnswerFrames(link_.socket(), Terminal);
    } else {
      UseSerial();
      AnswerFrames(link_.port(), Terminal);
    }
    EXPECT_TRUE(object_->SetStorageModel(1, 2)) << tcp;
    EXPECT_EQ(object_->GetStorageModel(1), 2) << tcp;
  }
}

// The next transfer discards unsent bytes: the storage-mode frame must have
// left the port before the call reports it sent.
TEST_F(MemoryMaintenanceTest, StorageModeWaitsForItsFrameToLeave) {
  UseSerial();
  ASSERT_TRUE(object_->SetStorageModel(1, 1));
  const auto& log = link_.port().log;
  EXPECT_NE(std::find(log.begin(), log.end(), "drain"), log.end());
}

// A terminal that acknowledges a storage-mode change a little later must not
// spoil the reply of the command that follows at once.
TEST_F(MemoryMaintenanceTest, PromptStorageModeAcknowledgementIsDiscarded) {
  for (bool tcp : {false, true}) {
    if (tcp) {
      UseTcp();
      AnswerFrames(link_.socket(), Terminal, std::chrono::milliseconds(30));
    } else {
      UseSerial();
      AnswerFrames(link_.port(), Terminal, std::chrono::milliseconds(30));
    }
    EXPECT_TRUE(object_->SetStorageModel(1, 2)) << tcp;
    EXPECT_EQ(object_->GetStorageModel(1), 2) << tcp;
  }
}

TEST_F(MemoryMaintenanceTest, StorageModeFailsWhenItCannotBeSent) {
  UseTcp();
  link_.socket().state = 0;
  EXPECT_FALSE(object_->SetStorageModel(1, 1));
  UseSerial();
  link_.port().open_error = err::kPortAlreadyOpen;
  EXPECT_FALSE(object_->SetStorageModel(1, 1));
  EXPECT_TRUE(link_.port().writes.empty());
  EXPECT_TRUE(link_.socket().sends.empty());
}

// A host event that starts a second call while the first one waits must not
// put its bytes on the wire between the first call's frame and reply.
TEST_F(MemoryMaintenanceTest, CallFromAHostEventDuringAWaitIsRefused) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal, std::chrono::milliseconds(100));
  std::vector<int> nested;
  testing::HostCapture host([&] {
    if (nested.empty()) {
      nested.push_back(object_->ClearFlag(2));
      nested.push_back(object_->GetStorageModel(2));
      nested.push_back(object_->SetPort(3));
      nested.push_back(object_->DestoryPort());
      object_->Mode(1);
    }
  });
  EXPECT_TRUE(object_->ClearRecord(1));
  EXPECT_EQ(nested, (std::vector<int>{0, -1, 0, 0}));
  EXPECT_EQ(link_.port().writes.size(), 2u);
  EXPECT_TRUE(link_.port().PortOpen());
  EXPECT_EQ(object_->Mode(), 0);
  EXPECT_GT(host.pumps, 0);
  // Once the first call is over, calls work again.
  EXPECT_TRUE(object_->ClearFlag(2));
}

}  // namespace
}  // namespace tallygate
