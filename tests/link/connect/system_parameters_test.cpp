#include <gtest/gtest.h>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::Write;
using testing::kAddressSettings;
using testing::kDataSettings;

const Bytes kBlock = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0xFD};

Bytes Terminal(uint8_t address, const Bytes& frame) {
  if (frame[1] == 0x19) return MakeReply(address, 0x19, kBlock, 17);
  return MakeReply(address, frame[1], {}, 4);
}

class SystemParametersTest : public testing::ObjectTest {};

TEST_F(SystemParametersTest, ReadGivesTheWholeReplyInHexadecimal) {
  for (bool tcp : {false, true}) {
    std::string back;
    if (tcp) {
      UseTcp();
      AnswerFrames(link_.socket(), Terminal);
      ASSERT_TRUE(object_->ReadSystemParameter(1, back));
      EXPECT_EQ(link_.socket().sends, (std::vector<Bytes>{{0x01}, {0x03, 0x19, 0x1B}}));
    } else {
      UseSerial();
      AnswerFrames(link_.port(), Terminal);
      ASSERT_TRUE(object_->ReadSystemParameter(1, back));
      EXPECT_EQ(link_.port().writes,
                (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, {0x03, 0x19, 0x1B}}}));
    }
    // Address, unexamined byte, echo, the block, and the check byte
    // 0x01 ^ 0x19 ^ (XOR of the block = 0xF1) = 0xE9.
    EXPECT_EQ(back,
              "010019"
              "0102030405060708090A0B0CFD"
              "E9")
        << tcp;
  }
}

TEST_F(SystemParametersTest, FailedReadLeavesTheTextAlone) {
  uint8_t echo = 0x09;
  uint8_t from = 0x01;
  UseSerial();
  AnswerFrames(link_.port(),
               [&](uint8_t, const Bytes&) { return MakeReply(from, echo, kBlock, 17); });
  std::string back = "mine";
  EXPECT_FALSE(object_->ReadSystemParameter(1, back)) << "echo of another command";
  echo = 0x19;
  from = 0x02;
  EXPECT_FALSE(object_->ReadSystemParameter(1, back)) << "answer from another terminal";
  EXPECT_FALSE(object_->ReadSystemParameter(256, back)) << "address out of range";
  EXPECT_EQ(back, "mine");
}

TEST_F(SystemParametersTest, RepairFrames) {
  const struct {
    const char* jdys;
    const char* dkys;
    const char* tzz;
    Bytes parameters;  // offsets 2 to 7
  } kCases[] = {
      {"0500", "05A0", "C000", {0x05, 0x00, 0x05, 0xA0, 0xC0, 0x00}},
      // Relay delay in decimal, the other two in hexadecimal.
      {"1200", "1200", "0000", {0x0C, 0x00, 0x12, 0x00, 0x00, 0x00}},
      {"3000", "0000", "4000", {0x1E, 0x00, 0x00, 0x00, 0x40, 0x00}},
      {"9999", "ffff", "8000", {0x63, 0x63, 0xFF, 0xFF, 0x80, 0x00}},
      // Short last pieces read what they have; more than four characters
      // are not read.
      {"050", "05A", "C00000", {0x05, 0x00, 0x05, 0x0A, 0xC0, 0x00}},
  };
  for (bool tcp : {false, true}) {
    if (tcp) {
      UseTcp();
      AnswerFrames(link_.socket(), Terminal);
    } else {
      UseSerial();
      AnswerFrames(link_.port(), Terminal);
    }
    for (const auto& c : kCases) {
      link_.port().writes.clear();
      link_.socket().sends.clear();
      EXPECT_TRUE(object_->RepairSystemParameter(1, c.jdys, c.dkys, c.tzz)) << c.jdys;
      Bytes frame = {0x09, 0x09};
      frame.insert(frame.end(), c.parameters.begin(), c.parameters.end());
      uint8_t check = 0x01;
      for (uint8_t b : frame) check ^= b;
      frame.push_back(check);
      if (tcp) {
        EXPECT_EQ(link_.socket().sends, (std::vector<Bytes>{{0x01}, frame})) << c.jdys;
      } else {
        EXPECT_EQ(link_.port().writes,
                  (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, frame}}))
            << c.jdys;
      }
    }
  }
}

TEST_F(SystemParametersTest, RepairRefusesBadPiecesBeforeSending) {
  const struct {
    const char* jdys;
    const char* dkys;
    const char* tzz;
  } kCases[] = {
      {"05", "05A0", "C000"},    // relay delay's second piece missing
      {"0500", "05", "C000"},    // punch interval's second piece missing
      {"0500", "05A0", ""},      // no mode word
      {"0500", "05A0", "C00G"},  // not hexadecimal
      {"0500", "G5A0", "C000"}, {"0500", "05A0", "C 00"},
      {"-100", "05A0", "C000"},  // a negative relay delay
      {" 500", "05A0", "C000"}, {".500", "05A0", "C000"},
      {"0x05", "05A0", "C000"}, {"ab00", "05A0", "C000"},
      {"05张", "05A0", "C000"}, {"0500", "05A0", "张00"},
  };
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  for (const auto& c : kCases) {
    EXPECT_FALSE(object_->RepairSystemParameter(1, c.jdys, c.dkys, c.tzz))
        << c.jdys << " " << c.dkys << " " << c.tzz;
  }
  EXPECT_FALSE(object_->RepairSystemParameter(256, "0500", "05A0", "C000"));
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(SystemParametersTest, RepairNeedsItsOwnEcho) {
  UseSerial();
  AnswerFrames(link_.port(),
               [](uint8_t address, const Bytes&) { return MakeReply(address, 0x19, {}, 4); });
  EXPECT_FALSE(object_->RepairSystemParameter(1, "0500", "05A0", "C000"));
  EXPECT_EQ(link_.port().writes.size(), 2u);
}

// Writing waits up to 5 seconds, reading only 2.
TEST_F(SystemParametersTest, WritingWaitsLongerThanReading) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal, std::chrono::seconds(3));
  EXPECT_TRUE(object_->RepairSystemParameter(1, "0500", "05A0", "C000"));
  std::string back;
  EXPECT_FALSE(object_->ReadSystemParameter(1, back));
}

}  // namespace
}  // namespace tallygate
