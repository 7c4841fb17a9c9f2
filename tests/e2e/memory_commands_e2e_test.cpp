// Memory maintenance, storage mode and counts through the library against
// the simulated terminal, over TCP and over the serial bus.
#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

class MemoryCommands : public SimLinkTest {
 protected:
  int32_t RecordCount(int16_t address = 1) {
    int32_t count = -1;
    std::string description;
    EXPECT_TRUE(object().GatherRecordSum(address, count, description)) << description;
    return count;
  }
  int32_t CardCount(int16_t address = 1) {
    int32_t count = -1;
    EXPECT_TRUE(object().GatherSendCardSum(address, count));
    return count;
  }
};

TEST_P(MemoryCommands, CountsAreWhatTheTerminalHolds) {
  ASSERT_STARTED(Start({"--records", "300", "--cards", "513"}));
  EXPECT_EQ(RecordCount(), 300);
  EXPECT_EQ(CardCount(), 513);
  // 40000 does not fit the terminal's signed 16-bit count: no count rather
  // than a wrong one.
  EXPECT_EQ(sim().Control("set-records 40000"), "ok set-records 40000 addr=1");
  int32_t count = -1;
  std::string description;
  EXPECT_FALSE(object().GatherRecordSum(1, count, description));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(description, "Overflow");
}

TEST_P(MemoryCommands, ClearFlagAnswersAndKeepsTheData) {
  ASSERT_STARTED(Start({"--records", "5"}));
  EXPECT_TRUE(object().ClearFlag(1));
  EXPECT_EQ(RecordCount(), 5);
}

TEST_P(MemoryCommands, ClearRecordAndClearNameListEmptyTheirLists) {
  ASSERT_STARTED(Start({"--records", "300", "--cards", "20"}));
  EXPECT_TRUE(object().ClearRecord(1));
  EXPECT_EQ(RecordCount(), 0);
  EXPECT_EQ(CardCount(), 20) << "ClearRecord touched the card list";
  EXPECT_TRUE(object().ClearNameList(1));
  EXPECT_EQ(CardCount(), 0);
}

TEST_P(MemoryCommands, RepairAddressMovesTheTerminalAndBack) {
  ASSERT_STARTED(Start());
  EXPECT_TRUE(object().RepairAddress(1, 9));
  EXPECT_TRUE(object().ClearFlag(9));
  EXPECT_FALSE(object().ClearFlag(1)) << "the terminal still answers at its old address";
  EXPECT_NE(sim().Control("status 9").find("ok status addr=9 "), std::string::npos);
  EXPECT_TRUE(object().RepairAddress(9, 1));
  EXPECT_TRUE(object().ClearFlag(1));
}

// The terminal acknowledges 0x44, and the library awaits nothing: the
// acknowledgement must not pass for part of the next command's reply,
// whether the next command follows at once or after the acknowledgement
// has come.
TEST_P(MemoryCommands, SetStorageModelThenGetStorageModel) {
  ASSERT_STARTED(Start({"--storage-mode", "1"}));
  for (const auto pause : {0ms, 600ms}) {
    for (int16_t mode : {int16_t{2}, int16_t{1}, int16_t{2}}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + ", pause " + std::to_string(pause.count()) + " ms");
      object().SetStorageModel(1, mode);
      if (!tcp()) {
        // The next transfer discards unsent bytes. On a pseudo-terminal that
        // also drops what the simulator has not read yet, which draining does
        // not wait for; a real line has sent the frame once drained.
        ASSERT_TRUE(sim().WaitForLine(
            std::regex("SetStorageModel -> .*; storage mode " + std::to_string(mode) + "$")));
      }
      std::this_thread::sleep_for(pause);
      EXPECT_EQ(object().GetStorageModel(1), mode);
      EXPECT_TRUE(object().ClearFlag(1));
    }
  }
  // Going on at once, the host got no acknowledgement at all.
  const std::vector<std::string> lines = sim().Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "reply withdrawn: 4 bytes, the host spoke first"),
            lines.end());
  EXPECT_NE(sim().Control("status").find(" storage-mode=2 "), std::string::npos);
  EXPECT_FALSE(object().SetStorageModel(1, 3)) << "mode 3 is refused before sending";
  EXPECT_EQ(object().GetStorageModel(1), 2);
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(MemoryCommands);

// A spoiled answer from the terminal is the command's failure result.
struct SpoiledReply {
  std::string name;
  std::string fault;
  int expected;  // the member's result as a number (true -1, false 0)
  int (*call)(Connect_v70&);
};

class SpoiledReplies : public SimLinkTest {};

TEST_P(SpoiledReplies, GiveTheFailureResult) {
  ASSERT_STARTED(Start({"--records", "3"}));
  const std::vector<SpoiledReply> cases{
      {"DroppedClearFlag", "ClearFlag:next:drop", 0, [](Connect_v70& o) { return int{o.ClearFlag(1)}; }},
      {"BadCheckClearFlag", "ClearFlag:next:bad-check", 0,
       [](Connect_v70& o) { return int{o.ClearFlag(1)}; }},
      {"ClearRecordEchoingClearNameList", "ClearRecord:next:wrong-echo=0x0C", 0,
       [](Connect_v70& o) { return int{o.ClearRecord(1)}; }},
      {"GetStorageModelFromAnotherAddress", "GetStorageModel:next:wrong-address=2", -1,
       [](Connect_v70& o) { return int{o.GetStorageModel(1)}; }},
      {"GetStorageModelShort", "GetStorageModel:next:short=4", -1,
       [](Connect_v70& o) { return int{o.GetStorageModel(1)}; }},
      {"RecordCountWithWrongEcho", "GatherRecordSum:next:wrong-echo", 0, [](Connect_v70& o) {
         int32_t count = 7;
         std::string description;
         const bool ok = o.GatherRecordSum(1, count, description);
         EXPECT_EQ(description, "Date Error");
         EXPECT_EQ(count, 0);
         return int{ok};
       }},
  };
  for (const SpoiledReply& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sim().Control("fault " + c.fault), "ok fault " + c.fault);
    EXPECT_EQ(c.call(object()), c.expected);
    // The next, unspoiled exchange works: nothing of the spoiled one is left
    // to be taken for its reply.
    EXPECT_TRUE(object().ClearFlag(1));
  }
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(SpoiledReplies);

}  // namespace
}  // namespace tallygate::testing
