// The simulated terminal's command handlers (byte-exact replies and state
// changes), the bus, and the synthetic seeding data.
#include "sim/model/terminal.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/model/bus.h"
#include "sim/model/command_table.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/wire_shape.h"

namespace tallygate::sim {
namespace {

ReceivedFrame FrameTo(uint8_t address, Bytes frame) { return {address, SealedWire(address, std::move(frame))}; }

struct ReplyCase {
  std::string name;
  uint8_t address;
  size_t records;
  size_t cards;
  uint8_t storage_mode;
  Bytes frame;  // without its check byte's value; sealed for `address`
  Bytes reply;  // exact bytes; empty: the terminal stays silent
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class TerminalReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(TerminalReply, IsByteExact) {
  const ReplyCase& c = GetParam();
  Terminal terminal(c.address);
  terminal.state().records.resize(c.records);
  terminal.state().cards.resize(c.cards);
  terminal.state().storage_mode = c.storage_mode;
  const Reply reply = terminal.Handle(FrameTo(c.address, c.frame));
  if (c.reply.empty()) {
    EXPECT_TRUE(reply.silent());
    EXPECT_FALSE(reply.note.empty()) << "a silent reply says why";
  } else {
    ASSERT_EQ(reply.units.size(), 1u);
    EXPECT_EQ(reply.units[0], c.reply);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TerminalReply,
    ::testing::Values(
        ReplyCase{"ClearFlag", 1, 0, 0, 1, MakeFrame(0x02), {0x01, 0x00, 0x02, 0x03}},
        ReplyCase{"ClearFlagTerminal5", 5, 0, 0, 1, MakeFrame(0x02), {0x05, 0x00, 0x02, 0x07}},
        ReplyCase{"ClearRecord", 1, 10, 0, 1, MakeFrame(0x06), {0x01, 0x00, 0x06, 0x07}},
        ReplyCase{"ClearNameList", 2, 0, 10, 1, MakeFrame(0x0C), {0x02, 0x00, 0x0C, 0x0E}},
        ReplyCase{"RepairAddress1To9", 1, 0, 0, 1, MakeFrame(0x07, {0x55, 0x09}),
                  {0x09, 0x00, 0x07, 0x09, 0x07}},
        ReplyCase{"RepairAddressWithoutGuard", 1, 0, 0, 1, MakeFrame(0x07, {0x54, 0x09}), {}},
        ReplyCase{"SetStorageModel2", 1, 0, 0, 1, MakeFrame(0x44, {0x02}), {0x01, 0x00, 0x44, 0x45}},
        ReplyCase{"SetStorageModel3Refused", 1, 0, 0, 1, MakeFrame(0x44, {0x03}), {}},
        ReplyCase{"GetStorageModel", 1, 0, 0, 2, MakeFrame(0x66), {0x01, 0x00, 0x66, 0x02, 0x65}},
        ReplyCase{"RecordCount300", 1, 300, 0, 1, MakeFrame(0xBB, {0x00}),
                  {0x01, 0x00, 0xBB, 0x01, 0x2C, 0x97}},
        ReplyCase{"RecordCountZero", 1, 0, 0, 1, MakeFrame(0xBB, {0x00}), {0x01, 0x00, 0xBB, 0x00, 0x00, 0xBA}},
        ReplyCase{"RecordCount40000HighByteAbove0x80", 1, 40000, 0, 1, MakeFrame(0xBB, {0x00}),
                  {0x01, 0x00, 0xBB, 0x9C, 0x40, 0x66}},
        ReplyCase{"RecordCountModulo65536", 1, 65536 + 5, 0, 1, MakeFrame(0xBB, {0x00}),
                  {0x01, 0x00, 0xBB, 0x00, 0x05, 0xBF}},
        ReplyCase{"CardCount", 3, 0, 513, 1, MakeFrame(0xCC, {0x00}), {0x03, 0x00, 0xCC, 0x02, 0x01, 0xCC}},
        ReplyCase{"WrongFrameLengthIgnored", 1, 0, 0, 1, MakeFrame(0x02, {0x00}), {}},
        ReplyCase{"UnknownCommandIgnored", 1, 0, 0, 1, MakeFrame(0x99), {}}),
    [](const auto& test) { return test.param.name; });

TEST(Terminal, ClearRecordAndClearNameListEraseOnlyTheirOwnList) {
  Terminal terminal(1);
  terminal.state().records = SyntheticRecords(5, 1);
  terminal.state().cards = SyntheticCards(7, 1);
  terminal.Handle(FrameTo(1, MakeFrame(0x06)));
  EXPECT_TRUE(terminal.state().records.empty());
  EXPECT_EQ(terminal.state().cards.size(), 7u);
  terminal.state().records = SyntheticRecords(5, 1);
  terminal.Handle(FrameTo(1, MakeFrame(0x0C)));
  EXPECT_TRUE(terminal.state().cards.empty());
  EXPECT_EQ(terminal.state().records.size(), 5u);
}

TEST(Terminal, ClearFlagKeepsTheData) {
  Terminal terminal(1);
  terminal.state().records = SyntheticRecords(5, 1);
  terminal.state().cards = SyntheticCards(5, 1);
  terminal.Handle(FrameTo(1, MakeFrame(0x02)));
  EXPECT_EQ(terminal.state().records.size(), 5u);
  EXPECT_EQ(terminal.state().cards.size(), 5u);
}

TEST(Terminal, StorageModeRoundTrip) {
  Terminal terminal(4);
  terminal.Handle(FrameTo(4, MakeFrame(0x44, {0x02})));
  EXPECT_EQ(terminal.state().storage_mode, 2);
  terminal.Handle(FrameTo(4, MakeFrame(0x44, {0x00})));  // refused
  EXPECT_EQ(terminal.state().storage_mode, 2);
  const Reply reply = terminal.Handle(FrameTo(4, MakeFrame(0x66)));
  ASSERT_EQ(reply.units.size(), 1u);
  EXPECT_EQ(reply.units[0][3], 2);
}

TEST(Terminal, RepairAddressMovesTheTerminal) {
  Terminal terminal(1);
  terminal.Handle(FrameTo(1, MakeFrame(0x07, {0x55, 0x09})));
  EXPECT_EQ(terminal.address(), 9);
  const Reply reply = terminal.Handle(FrameTo(9, MakeFrame(0x02)));
  ASSERT_EQ(reply.units.size(), 1u);
  EXPECT_EQ(reply.units[0], (Bytes{0x09, 0x00, 0x02, 0x0B}));
}

TEST(Bus, EachTerminalAnswersOnlyItsOwnFrames) {
  Terminal one(1), two(2);
  one.state().records.resize(3);
  two.state().records.resize(4);
  Bus bus;
  bus.Attach(one);
  bus.Attach(two);

  std::vector<Bus::Answer> answers = bus.Deliver(FrameTo(2, MakeFrame(0xBB, {0x00})));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].terminal, &two);
  EXPECT_EQ(answers[0].reply.units.at(0)[4], 4);

  EXPECT_TRUE(bus.Deliver(FrameTo(3, MakeFrame(0x02))).empty());

  bus.Deliver(FrameTo(1, MakeFrame(0x06)));
  EXPECT_TRUE(one.state().records.empty());
  EXPECT_EQ(two.state().records.size(), 4u) << "ClearRecord to 1 reached terminal 2";

  answers = bus.Deliver(FrameTo(1, MakeFrame(0x07, {0x55, 0x05})));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].address, 1) << "the answer names the address the frame was sent to";
  EXPECT_EQ(bus.Find(5), &one);
  EXPECT_EQ(bus.Find(1), nullptr);
}

TEST(CommandTable, NamesAndAliases) {
  EXPECT_EQ(CodesNamed("ClearRecord"), (std::vector<uint8_t>{0x06}));
  EXPECT_EQ(CodesNamed("clearrecord"), (std::vector<uint8_t>{0x06}));
  EXPECT_EQ(CodesNamed("GatherData"), (std::vector<uint8_t>{0xBB}));
  EXPECT_EQ(CodesNamed("SetClock"), (std::vector<uint8_t>{0x0E, 0x1E, 0x2E}));
  EXPECT_TRUE(CodesNamed("NoSuchCommand").empty());
  std::set<uint8_t> codes;
  for (const CommandInfo& info : AllCommands()) {
    EXPECT_TRUE(codes.insert(info.code).second) << "code listed twice: " << int{info.code};
    EXPECT_GE(info.frame_length, kMinFrameLength) << info.name;
  }
}

bool ValidBcd(uint8_t b, int low, int high) {
  const int hi = b >> 4, lo = b & 0x0F;
  return hi <= 9 && lo <= 9 && hi * 10 + lo >= low && hi * 10 + lo <= high;
}

TEST(SyntheticData, RecordsHaveValidAscendingBcdTimes) {
  const std::vector<AttendanceRecord> records = SyntheticRecords(40000, 7);
  ASSERT_EQ(records.size(), 40000u);
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& t = records[i].time;
    ASSERT_TRUE(ValidBcd(t[1], 1, 12) && ValidBcd(t[2], 1, 31) && ValidBcd(t[3], 0, 23) &&
                ValidBcd(t[4], 0, 59) && ValidBcd(t[5], 0, 59) && ValidBcd(t[0], 0, 99))
        << "record " << i;
    if (i > 0) {
      ASSERT_LT(records[i - 1].time, t) << "record " << i << " is not later";
    }
  }
}

TEST(SyntheticData, SameSeedSameDataOtherSeedOtherData) {
  const auto a = SyntheticRecords(50, 1), b = SyntheticRecords(50, 1), c = SyntheticRecords(50, 2);
  EXPECT_EQ(a.back().time, b.back().time);
  EXPECT_NE(a.back().time, c.back().time);
  const auto ca = SyntheticCards(20, 1), cb = SyntheticCards(20, 1);
  for (size_t i = 0; i < ca.size(); ++i) EXPECT_EQ(ca[i].name, cb[i].name);
}

TEST(SyntheticData, CardsAreDistinctWithBcdStaffAndMixedNames) {
  const std::vector<CardEntry> cards = SyntheticCards(300, 1);
  std::set<std::array<uint8_t, 4>> numbers;
  bool any_ascii = false, any_gb2312 = false;
  for (size_t i = 0; i < cards.size(); ++i) {
    EXPECT_TRUE(numbers.insert(cards[i].card).second);
    for (uint8_t b : cards[i].staff) EXPECT_TRUE(ValidBcd(b, 0, 99));
    const auto& name = cards[i].name;
    for (size_t k = 0; k < name.size() && name[k] != 0;) {
      if (name[k] >= 0xB0 && name[k] <= 0xF7) {
        ASSERT_LT(k + 1, name.size());
        EXPECT_GE(name[k + 1], 0xA1);
        any_gb2312 = true;
        k += 2;
      } else {
        EXPECT_TRUE(name[k] >= 'A' && name[k] <= 'Z') << int{name[k]};
        any_ascii = true;
        ++k;
      }
    }
  }
  EXPECT_EQ(cards[122].staff, (std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x23}));
  EXPECT_TRUE(any_ascii);
  EXPECT_TRUE(any_gb2312);
}

}  // namespace
}  // namespace tallygate::sim
