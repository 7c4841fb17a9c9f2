// The simulated terminal's command handlers (byte-exact replies and state
// changes), the bus, and the synthetic seeding data.
#include "sim/model/terminal.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/model/bus.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_commands.h"
#include "sim/model/terminal_view.h"
#include "sim/model/wire_shape.h"

namespace tallygate::sim {
namespace {

ReceivedFrame FrameTo(uint8_t address, Bytes frame) { return {address, SealedWire(address, std::move(frame))}; }

// MakeFrame for parameters held in a vector.
Bytes FrameWith(uint8_t command, const Bytes& params) {
  Bytes frame{static_cast<uint8_t>(params.size() + 3), command};
  frame.insert(frame.end(), params.begin(), params.end());
  frame.push_back(0);
  return frame;
}

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
        ReplyCase{"ModifyDateTime", 1, 0, 0, 1, MakeFrame(0x08, {0x07, 0x09, 0x27, 0x09, 0x36, 0x28, 0x04}),
                  {0x01, 0x00, 0x08, 0x09}},
        ReplyCase{"RepairSystemParameter", 2, 0, 0, 1,
                  MakeFrame(0x09, {0x05, 0x00, 0x05, 0xA0, 0xC0, 0x00}), {0x02, 0x00, 0x09, 0x0B}},
        ReplyCase{"ReadSystemParameterUnset", 1, 0, 0, 1, MakeFrame(0x19),
                  {0x01, 0x00, 0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x18}},
        ReplyCase{"CardSendToMachine", 1, 0, 0, 1,
                  MakeFrame(0x0A, {0, 0, 1, 0x2C, 0, 0, 1, 0x23, 0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0}),
                  {0x01, 0x00, 0x0A, 0x0B}},
        ReplyCase{"ReadCardNumWithoutACard", 1, 0, 0, 1, MakeFrame(0x0B), {}},
        ReplyCase{"ClearNameOfAnUnlistedCard", 1, 0, 0, 1, MakeFrame(0x0D, {0, 0, 1, 0x2C}),
                  {0x01, 0x00, 0x0D, 0x0C}},
        ReplyCase{"RingSchedule3", 1, 0, 0, 1, FrameWith(0x2E, Bytes(20, 0x12)), {0x01, 0x00, 0x2E, 0x2F}},
        ReplyCase{"SendRecordToMachine", 1, 0, 0, 1,
                  MakeFrame(0x1A, {0, 0x12, 0xD6, 0x87, 0x24, 0x03, 0x15, 0x08, 0x30, 0x05, 0x01, 0x99}),
                  {0x01, 0x00, 0x1A, 0x1B}},
        ReplyCase{"FindCardNotListed", 1, 0, 0, 1, MakeFrame(0x1D, {0, 0, 1, 0x2C}),
                  {0x01, 0x00, 0x1D, 0xFF, 0xFF, 0xFF, 0xE3}},
        ReplyCase{"PlaySound", 2, 0, 0, 1, MakeFrame(0x25, {0x03}), {0x02, 0x00, 0x25, 0x27}},
        ReplyCase{"SetPassword", 1, 0, 0, 1, MakeFrame(0xAA, {1, 2, 3, 4}), {1, 2, 3, 4}},
        ReplyCase{"SetPasswordWithANonDigit", 1, 0, 0, 1, MakeFrame(0xAA, {1, 2, 10, 4}), {}},
        ReplyCase{"GetPasswordUnset", 1, 0, 0, 1, MakeFrame(0xBA), {0, 0, 0, 0}},
        ReplyCase{"PictureStart", 7, 0, 0, 1, MakeFrame(0x40, {0x55}), {0x07}},
        ReplyCase{"PictureStartWithoutMarker", 7, 0, 0, 1, MakeFrame(0x40, {0x54}), {}},
        ReplyCase{"PictureDataWithoutStart", 7, 0, 0, 1, MakeEmptyFrame(0x55, 19), {}},
        ReplyCase{"RecordPagePastTheEnd", 1, 256, 0, 1, MakeFrame(0xBB, {0x02}), {}},
        ReplyCase{"WrongFrameLengthIgnored", 1, 0, 0, 1, MakeFrame(0x02, {0x00}), {}},
        ReplyCase{"UnknownCommandIgnored", 1, 0, 0, 1, MakeFrame(0x99), {}}),
    [](const auto& test) { return test.param.name; });

Bytes Units(const Reply& reply) { return reply.Joined(); }

TEST(Terminal, RecordPagesStreamSixteenByteUnits) {
  Terminal terminal(3);
  terminal.state().records = SyntheticRecords(300, 1);
  terminal.state().records[256] = {{0x00, 0x12, 0xD6, 0x87}, {0x24, 0x03, 0x15, 0x08, 0x30, 0x05}, 0x01, 0x99};
  const Reply first = terminal.Handle(FrameTo(3, MakeFrame(0xBB, {0x01})));
  ASSERT_EQ(first.units.size(), 256u);
  const Reply second = terminal.Handle(FrameTo(3, MakeFrame(0xBB, {0x02})));
  ASSERT_EQ(second.units.size(), 44u);
  EXPECT_EQ(second.units[0], (Bytes{0x03, 0x00, 0xBB, 0x00, 0x12, 0xD6, 0x87, 0x24, 0x03, 0x15, 0x08,
                                    0x30, 0x05, 0x01, 0x99, 0x6C}));
  for (const Bytes& unit : first.units) {
    ASSERT_EQ(unit.size(), 16u);
    EXPECT_EQ(unit[0], 3);
    EXPECT_EQ(unit[15], XorOf(std::span<const uint8_t>(unit).first(15)));
  }
  EXPECT_EQ(Bytes(first.units[7].begin() + 3, first.units[7].begin() + 7),
            Bytes(terminal.state().records[7].card.begin(), terminal.state().records[7].card.end()));
}

TEST(Terminal, CardPagesStreamTwentyByteUnits) {
  Terminal terminal(1);
  terminal.state().cards = SyntheticCards(513, 1);
  terminal.state().cards[512] = {{0x00, 0x12, 0xD6, 0x87}, {0x00, 0x00, 0x01, 0x23},
                                 {0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0}};
  EXPECT_EQ(terminal.Handle(FrameTo(1, MakeFrame(0xCC, {0x01}))).units.size(), 256u);
  EXPECT_EQ(terminal.Handle(FrameTo(1, MakeFrame(0xCC, {0x02}))).units.size(), 256u);
  const Reply last = terminal.Handle(FrameTo(1, MakeFrame(0xCC, {0x03})));
  ASSERT_EQ(last.units.size(), 1u);
  EXPECT_EQ(last.units[0], (Bytes{0x01, 0x00, 0xCC, 0x00, 0x12, 0xD6, 0x87, 0x00, 0x00, 0x01, 0x23, 0xD5,
                                  0xC5, 0xC8, 0xFD, 0, 0, 0, 0, 0x89}));
  EXPECT_TRUE(terminal.Handle(FrameTo(1, MakeFrame(0xCC, {0x04}))).silent());
}

TEST(Terminal, CardListEnrolReplaceFindAndRemove) {
  Terminal terminal(1);
  auto enrol = [&](const Bytes& params) { return terminal.Handle(FrameTo(1, FrameWith(0x0A, params))); };
  auto find = [&](uint8_t last) {
    return Units(terminal.Handle(FrameTo(1, MakeFrame(0x1D, {0, 0, 1, last})))).at(3);
  };
  enrol({0, 0, 1, 0x2C, 0x00, 0x00, 0x01, 0x23, 0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0});
  enrol({0, 0, 1, 0x2D, 0xFF, 0xFF, 0xFF, 0xFF, 'A', 0, 0, 0, 0, 0, 0, 0});
  const Reply again = enrol({0, 0, 1, 0x2C, 0x00, 0x00, 0x01, 0x24, 'B', 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(again.effect.substr(0, 9), "replaced ");
  ASSERT_EQ(terminal.state().cards.size(), 2u);
  EXPECT_EQ(terminal.state().cards[0].staff, (std::array<uint8_t, 4>{0, 0, 1, 0x24}));
  EXPECT_EQ(find(0x2C), 0x00);
  const Reply listed = terminal.Handle(FrameTo(1, MakeFrame(0x1D, {0, 0, 1, 0x2D})));
  EXPECT_EQ(Units(listed), (Bytes{0x01, 0x00, 0x1D, 0xFF, 0xFF, 0xFE, 0xE2}))
      << "a listed card answered as not listed";
  terminal.Handle(FrameTo(1, MakeFrame(0x0D, {0, 0, 1, 0x2C})));
  EXPECT_EQ(find(0x2C), 0xFF);
  EXPECT_EQ(terminal.state().cards.size(), 1u);
}

TEST(Terminal, StoredSettingsAreReadBack) {
  Terminal terminal(1);
  terminal.Handle(FrameTo(1, MakeFrame(0x09, {0x05, 0x00, 0x05, 0xA0, 0xC0, 0x00})));
  EXPECT_EQ(Units(terminal.Handle(FrameTo(1, MakeFrame(0x19)))),
            (Bytes{0x01, 0x00, 0x19, 0x05, 0x00, 0x05, 0xA0, 0xC0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0x78}));
  terminal.Handle(FrameTo(1, MakeFrame(0xAA, {0, 0, 4, 2})));
  EXPECT_EQ(Units(terminal.Handle(FrameTo(1, MakeFrame(0xBA)))), (Bytes{0, 0, 4, 2}));
  Bytes times{0x08, 0x30, 0x12, 0x00};
  times.resize(20, 0);
  terminal.Handle(FrameTo(1, FrameWith(0x1E, times)));
  EXPECT_EQ(terminal.state().ring_schedules[1][1], 0x30);
  EXPECT_EQ(terminal.state().ring_schedules[0][1], 0x00);
}

TEST(Terminal, ReadCardNumReportsThePresentedCardAndKind) {
  Terminal terminal(1);
  terminal.state().presented_card = PresentedCard{{0x00, 0x00, 0x01, 0x2C}, 0x09};
  EXPECT_EQ(Units(terminal.Handle(FrameTo(1, MakeFrame(0x0B)))),
            (Bytes{0x01, 0x00, 0x09, 0x00, 0x00, 0x01, 0x2C, 0x25}));
}

TEST(Terminal, MessageKeepsItsBytesWithoutTheFill) {
  Terminal terminal(1);
  // FrameLength 35, time, 32 message bytes; the check byte follows.
  Bytes frame{35, 0x20, 0x05, 0xC4, 0xE3, 0xBA, 0xC3};
  frame.resize(35, 0);
  const Reply reply = terminal.Handle(FrameTo(1, frame));
  EXPECT_EQ(Units(reply), (Bytes{0x01, 0x00, 0x20, 0x21}));
  EXPECT_EQ(terminal.state().message, (Bytes{0xC4, 0xE3, 0xBA, 0xC3}));
  EXPECT_EQ(terminal.state().message_time, 5);
  EXPECT_EQ(reply.effect, "message \"你好\" for 5");
}

TEST(Terminal, PictureIsShownOnlyWhenAllBlocksCame) {
  Terminal terminal(1);
  auto block = [&](uint8_t value) {
    Bytes params(16, value);
    return terminal.Handle(FrameTo(1, FrameWith(0x55, params)));
  };
  terminal.Handle(FrameTo(1, MakeFrame(0x40, {0x55})));
  for (int i = 0; i < 31; ++i) EXPECT_EQ(Units(block(static_cast<uint8_t>(i))), Bytes{0x01});
  EXPECT_FALSE(terminal.state().picture_loaded);
  EXPECT_EQ(block(0xAB).effect, "picture block 32 of 32, picture shown");
  EXPECT_TRUE(terminal.state().picture_loaded);
  EXPECT_EQ(terminal.state().picture[16], 0x01);
  EXPECT_EQ(terminal.state().picture[511], 0xAB);
  EXPECT_TRUE(block(0).silent()) << "a 33rd block without a new start";

  terminal.Handle(FrameTo(1, MakeFrame(0x40, {0x55})));
  block(0xEE);
  EXPECT_EQ(terminal.state().picture[0], 0x00) << "a broken-off download changed the picture";
  EXPECT_EQ(terminal.state().picture_blocks, 1);
}

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
