#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>

#include "link/text/char_map.h"
#include "tallygate/code_tables.h"
#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::Sealed;
using testing::Write;

// A terminal holding card 300 only; it reads card 300 at its reader.
Bytes Terminal(uint8_t address, const Bytes& frame) {
  switch (frame[1]) {
    case 0x1D: {
      const bool listed = frame[2] == 0 && frame[3] == 0 && frame[4] == 0x01 && frame[5] == 0x2C;
      const Bytes where = listed ? Bytes{0x00, 0x00, 0x07} : Bytes{0xFF, 0xFF, 0xFF};
      return MakeReply(address, 0x1D, where, 7);
    }
    case 0x0B:
      return MakeReply(address, 0x04, Bytes{0x00, 0x00, 0x01, 0x2C}, 8);
    default:
      return MakeReply(address, frame[1], {}, 4);
  }
}

// Frames after the address byte 0x01, without their check byte.
const testing::FrameCase kFrames[] = {
    {"enrol, empty name",
     [](Connect_v70& o) { return o.CardSendToMachine(1, "300", "123", "", 0, ""); },
     {0x13, 0x0A, 0x00, 0x00, 0x01, 0x2C, 0x00, 0x00, 0x01, 0x23, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"enrol, card -1, eight-byte Chinese name",
     [](Connect_v70& o) { return o.CardSendToMachine(1, "-1", "12345678", "张三李四", 1, "1"); },
     {0x13, 0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x34, 0x56, 0x78, 0xD5, 0xC5, 0xC8, 0xFD, 0xC0,
      0xEE, 0xCB, 0xC4}},
    {"enrol, long staff number keeps its last eight",
     [](Connect_v70& o) {
       return o.CardSendToMachine(1, "2147483647", "1234567890", "Tom", 0, "");
     },
     {0x13, 0x0A, 0x7F, 0xFF, 0xFF, 0xFF, 0x34, 0x56, 0x78, 0x90, 'T', 'o', 'm', 0, 0, 0, 0, 0}},
    {"enrol, staff number in hexadecimal letters",
     [](Connect_v70& o) { return o.CardSendToMachine(1, "1", "abcdef", "ABCDEFGH", 0, ""); },
     {0x13, 0x0A, 0x00, 0x00, 0x00, 0x01, 0x00, 0xAB, 0xCD, 0xEF, 'A', 'B', 'C', 'D', 'E', 'F', 'G',
      'H'}},
    {"enrol, character without a code",
     [](Connect_v70& o) { return o.CardSendToMachine(1, "7", "", "A\u00e9\U0001F600", 0, ""); },
     {0x13, 0x0A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 'A', 0xA8, 0xA6, '?', 0, 0, 0,
      0}},
    {"record with default flag and keep bytes",
     [](Connect_v70& o) { return o.SendRecordToMachine(1, "1234ABCD", "070927093628"); },
     {0x0F, 0x1A, 0x12, 0x34, 0xAB, 0xCD, 0x07, 0x09, 0x27, 0x09, 0x36, 0x28, 0xFF, 0x99}},
    {"record, short fields read as zero",
     [](Connect_v70& o) { return o.SendRecordToMachine(1, "12", "0709", "1", "2"); },
     {0x0F, 0x1A, 0x00, 0x00, 0x00, 0x12, 0x07, 0x09, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02}},
    {"record, long card number and lenient pairs",
     [](Connect_v70& o) { return o.SendRecordToMachine(1, "123456789a", "07x9270936", "", "1x"); },
     {0x0F, 0x1A, 0x34, 0x56, 0x78, 0x9A, 0x07, 0x00, 0x27, 0x09, 0x36, 0x00, 0x00, 0x01}},
    {"remove card 300",
     [](Connect_v70& o) { return o.ClearName(1, "300"); },
     {0x07, 0x0D, 0x00, 0x00, 0x01, 0x2C}},
    {"remove card -2",
     [](Connect_v70& o) { return o.ClearName(1, "-2"); },
     {0x07, 0x0D, 0xFF, 0xFF, 0xFF, 0xFE}},
    {"find card 300",
     [](Connect_v70& o) {
       bool listed = false;
       return o.FindCard(1, "300", listed) && listed;
     },
     {0x07, 0x1D, 0x00, 0x00, 0x01, 0x2C}},
    {"read card",
     [](Connect_v70& o) {
       std::string all;
       return o.ReadCardNum(1, all) == "300";
     },
     {0x03, 0x0B}},
};

class CardManagementTest : public testing::ObjectTest {};

TEST_F(CardManagementTest, FramesOnTheSerialBus) {
  ExpectFramesOnTheSerialBus(kFrames, Terminal, testing::CheckByte::kAdd);
}

TEST_F(CardManagementTest, FramesOverTcp) {
  ExpectFramesOverTcp(kFrames, Terminal, testing::CheckByte::kAdd);
}

TEST_F(CardManagementTest, EnrolmentIgnoresWeekFlagAndTimeSect) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  ASSERT_TRUE(object_->CardSendToMachine(7, "300", "1", "A", 0, ""));
  const std::vector<Write> first = link_.port().writes;
  for (int16_t week : {int16_t{1}, int16_t{127}, int16_t{-1}}) {
    for (const char* sect : {"1", "3", "anything"}) {
      link_.port().writes.clear();
      EXPECT_TRUE(object_->CardSendToMachine(7, "300", "1", "A", week, sect));
      EXPECT_EQ(link_.port().writes, first) << week << " " << sect;
    }
  }
}

// Failures found before anything is sent.
TEST_F(CardManagementTest, BadArgumentsSendNothing) {
  const struct {
    const char* name;
    std::function<bool(Connect_v70&)> call;
  } kCases[] = {
      // Nine bytes would put the ninth on the check byte and split a character.
      {"nine-byte name",
       [](Connect_v70& o) { return o.CardSendToMachine(1, "1", "1", "张三李四A", 0, ""); }},
      {"ten-byte name",
       [](Connect_v70& o) { return o.CardSendToMachine(1, "1", "1", "张三李四五", 0, ""); }},
      {"name not UTF-8",
       [](Connect_v70& o) { return o.CardSendToMachine(1, "1", "1", "\xFF", 0, ""); }},
      {"card not a number",
       [](Connect_v70& o) { return o.CardSendToMachine(1, "12ab", "1", "", 0, ""); }},
      {"empty card", [](Connect_v70& o) { return o.CardSendToMachine(1, "", "1", "", 0, ""); }},
      {"card beyond 32 bits",
       [](Connect_v70& o) { return o.CardSendToMachine(1, "4294967295", "1", "", 0, ""); }},
      {"address 256", [](Connect_v70& o) { return o.CardSendToMachine(256, "1", "1", "", 0, ""); }},
      {"record to address -1",
       [](Connect_v70& o) { return o.SendRecordToMachine(-1, "1", "070927093628"); }},
      {"remove a text", [](Connect_v70& o) { return o.ClearName(1, "card"); }},
      {"remove to address 300", [](Connect_v70& o) { return o.ClearName(300, "1"); }},
      {"find a text",
       [](Connect_v70& o) {
         bool listed = true;
         return o.FindCard(1, "x", listed) || listed;
       }},
      {"read at address 256",
       [](Connect_v70& o) {
         std::string all = "old";
         return !o.ReadCardNum(256, all).empty() || !all.empty();
       }},
  };
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  for (const auto& c : kCases) EXPECT_FALSE(c.call(*object_)) << c.name;
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(CardManagementTest, RepliesTheCommandsTest) {
  uint8_t echo = 0;
  Bytes data;
  UseSerial();
  AnswerFrames(link_.port(), [&](uint8_t address, const Bytes& frame) {
    return MakeReply(address, echo, data, frame[1] == 0x1D ? 7 : frame[1] == 0x0B ? 8 : 4);
  });
  bool listed = true;
  std::string all = "old";

  echo = 0x0B;  // a valid reply echoing another command
  EXPECT_FALSE(object_->CardSendToMachine(1, "1", "1", "", 0, ""));
  EXPECT_FALSE(object_->ClearName(1, "1"));
  EXPECT_TRUE(object_->SendRecordToMachine(1, "1", "1")) << "any valid reply will do";

  echo = 0x1D;
  data = {0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(object_->FindCard(1, "1", listed));
  EXPECT_FALSE(listed);
  for (const Bytes& where : {Bytes{0xFF, 0xFF, 0xFE}, Bytes{0x7F, 0xFF, 0xFF}, Bytes{0, 0, 0}}) {
    data = where;
    listed = false;
    EXPECT_TRUE(object_->FindCard(1, "1", listed));
    EXPECT_TRUE(listed) << int{where[0]} << " " << int{where[2]};
  }

  const struct {
    uint8_t kind;
    Bytes number;
    const char* result;
    const char* all;
  } kReads[] = {
      {0x04, {0x00, 0x00, 0x01, 0x2C}, "300", "010004000001"},
      {0x09, {0x00, 0x00, 0x01, 0x2C}, "300", "010009000001"},
      {0x04, {0xFF, 0xFF, 0xFF, 0xFF}, "-1", "010004FFFFFFFF"},
      {0x04, {0x80, 0x00, 0x00, 0x00}, "-2147483648", "01000480000000"},
      {0x05, {0x00, 0x00, 0x01, 0x2C}, "", ""},
      {0x0B, {0x00, 0x00, 0x01, 0x2C}, "", ""},
  };
  for (const auto& r : kReads) {
    echo = r.kind;
    data = r.number;
    all = "old";
    EXPECT_EQ(object_->ReadCardNum(1, all), r.result) << int{r.kind};
    if (*r.all == '\0') {
      EXPECT_EQ(all, "") << int{r.kind};
    } else {
      // The whole reply: 16 digits, check byte last.
      EXPECT_EQ(all.size(), 16u);
      EXPECT_EQ(all.rfind(r.all, 0), 0u) << all;
    }
  }
  echo = 0x04;
  data = {0x00, 0x00, 0x01, 0x2C};
  EXPECT_EQ(object_->ReadCardNum(1, all), "300");
  EXPECT_EQ(all,
            "0100040000012C"
            "28");
}

TEST_F(CardManagementTest, FindCardWithoutAnAnswer) {
  UseSerial();
  bool listed = true;
  EXPECT_FALSE(object_->FindCard(1, "300", listed));
  EXPECT_FALSE(listed);
  EXPECT_EQ(link_.port().writes.size(), 2u);
}

// What ReadCardNum returns is the card the other commands send.
TEST_F(CardManagementTest, ReadNumbersTravelBackToTheSameBytes) {
  Bytes number;
  UseSerial();
  AnswerFrames(link_.port(), [&](uint8_t address, const Bytes& frame) {
    if (frame[1] == 0x0B) return MakeReply(address, 0x09, number, 8);
    return MakeReply(address, frame[1], {}, 4);
  });
  for (const Bytes& card : {Bytes{0x00, 0x00, 0x01, 0x2C}, Bytes{0xFF, 0xFF, 0xFF, 0xFF},
                            Bytes{0x80, 0x00, 0x00, 0x00}, Bytes{0xDE, 0xAD, 0xBE, 0xEF}}) {
    number = card;
    std::string all;
    const std::string text = object_->ReadCardNum(1, all);
    link_.port().writes.clear();
    ASSERT_TRUE(object_->ClearName(1, text)) << text;
    ASSERT_EQ(link_.port().writes.size(), 2u);
    EXPECT_EQ(
        Bytes(link_.port().writes[1].bytes.begin() + 2, link_.port().writes[1].bytes.begin() + 6),
        card)
        << text;
  }
}

// ClearName waits up to 5 seconds, ReadCardNum only 2: an answer after 3
// seconds reaches the one and not the other.
TEST_F(CardManagementTest, RemovalWaitsLongerThanReading) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal, std::chrono::seconds(3));
  EXPECT_TRUE(object_->ClearName(1, "300"));
  std::string all;
  EXPECT_EQ(object_->ReadCardNum(1, all), "");
}

// A Traditional-Chinese system: names are Big5 text mapped to the GB2312
// codes the terminal keeps.
TEST_F(CardManagementTest, TraditionalChineseNamesTravelAsGbCodes) {
  {
    std::ofstream out(home_ / "rm.txt", std::ios::binary);
    const int zhang = Big5TableIndex(0xB1, 0x69);  // 張 in Big5
    for (int i = 0; i < kCodeTableLines; ++i) {
      out << (i == zhang ? "D5C5" : "A1A1") << "\r\n";
    }
  }
  testing::ScopedEnv locale("TALLYGATE_SYSTEM_LOCALE", "zh_TW.UTF-8");
  UnloadCodeTablesForTesting();
  object_ = std::make_unique<Connect_v70>();
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  EXPECT_TRUE(object_->CardSendToMachine(1, "300", "1", "張A", 0, ""));
  ASSERT_EQ(link_.port().writes.size(), 2u);
  EXPECT_EQ(link_.port().writes[1].bytes,
            Sealed(0x01, {0x13, 0x0A, 0x00, 0x00, 0x01, 0x2C, 0x00, 0x00, 0x00, 0x01, 0xD5, 0xC5,
                          'A', 0, 0, 0, 0, 0}));
  object_.reset();
  UnloadCodeTablesForTesting();
}

}  // namespace
}  // namespace tallygate
