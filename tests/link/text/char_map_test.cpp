#include "link/text/char_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "link/text/code_page.h"
#include "tallygate/code_tables.h"
#include "tallygate/basic_error.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::TempDir;
using testing::WriteFile;

int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const BasicError& e) {
    return e.number();
  }
  return 0;
}

struct PairIndex {
  uint8_t lead;
  uint8_t trail;
  int index;
};

TEST(TableIndexTest, Big5RowsAndColumns) {
  const PairIndex cases[] = {
      {0xA1, 0x40, 0},    {0xA1, 0x7E, 62},   {0xA1, 0xA1, 63},   {0xA1, 0xFE, 156},
      {0xA2, 0x40, 157},  {0xA4, 0x40, 471},  {0xA4, 0xA1, 534},  {0xFE, 0xFE, 14757},
      {0xA0, 0xFE, -1},   {0x81, 0x40, -1},   {0xFF, 0x40, -1},   {0xA1, 0x3F, -1},
      {0xA1, 0x7F, -1},   {0xA1, 0x80, -1},   {0xA1, 0xA0, -1},   {0xA1, 0xFF, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Big5TableIndex(c.lead, c.trail), c.index) << std::hex << +c.lead << ' ' << +c.trail;
  }
}

TEST(TableIndexTest, GbRowsAndColumns) {
  const PairIndex cases[] = {
      {0xA1, 0xA1, 0},  {0xA1, 0xFE, 93}, {0xA2, 0xA1, 94}, {0xF7, 0xFE, 8177},
      {0xF8, 0xA1, -1}, {0xA0, 0xFE, -1}, {0xA2, 0xA0, -1}, {0xA2, 0x40, -1},
      {0xB0, 0xFF, -1}, {0x81, 0x40, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GbTableIndex(c.lead, c.trail), c.index) << std::hex << +c.lead << ' ' << +c.trail;
  }
}

struct CharIndex {
  const char* ch;
  int16_t index;
};

TEST(CodeIndexTest, IndexesOfRealCharacters) {
  const CharIndex big5[] = {
      {"一", 471},    // A4 40
      {"丑", 534},    // A4 A1
      {"張", 2553},   // B1 69
      {"國", 2491},   // B0 EA
      {"張三", 2553},  // the first character counts
  };
  for (const auto& c : big5) EXPECT_EQ(Big5CodeIndex(c.ch), c.index) << c.ch;
  const CharIndex gb[] = {
      {"丑", 282},   // A4 A1
      {"國", 1483},  // B0 EA
      {"一", 185},   // A4 40: the bare formula; a trail of 0x40 has no GB column
  };
  for (const auto& c : gb) EXPECT_EQ(GbCodeIndex(c.ch), c.index) << c.ch;
}

TEST(CodeIndexTest, CharacterWithoutTwoBytesHasNoIndex) {
  for (const char* ch : {"A", "", "张", "\U0001F600"}) {
    EXPECT_EQ(ErrorNumber([&] { Big5CodeIndex(ch); }), err::kSubscriptOutOfRange) << ch;
    EXPECT_EQ(ErrorNumber([&] { GbCodeIndex(ch); }), err::kSubscriptOutOfRange) << ch;
  }
}

// Big5-to-GB entry i maps to 0x4000 + i and GB-to-Big5 entry j to
// 0xC000 + j, except for a few real pairs:
//   國 B0EA <-> 国 B9FA, 張 B169 <-> 张 D5C5.
constexpr int kGuoBig5 = 2491, kZhangBig5 = 2553, kGuoGb = 2345, kZhangGb = 4924;

std::string TableFile() {
  std::string file;
  char line[16];
  for (int i = 0; i < kBig5ToGbEntries; ++i) {
    unsigned code = 0x4000u + static_cast<unsigned>(i);
    if (i == kGuoBig5) code = 0xB9FA;
    if (i == kZhangBig5) code = 0xD5C5;
    std::snprintf(line, sizeof line, "%04X\r\n", code);
    file += line;
  }
  for (int j = 0; j < kGbToBig5Entries; ++j) {
    unsigned code = 0xC000u + static_cast<unsigned>(j);
    if (j == kGuoGb) code = 0xB0EA;
    if (j == kZhangGb) code = 0xB169;
    std::snprintf(line, sizeof line, "%04X\n", code);
    file += line;
  }
  return file;
}

class CharMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "rm.txt", TableFile());
    LoadCodeTables(dir_ / "rm.txt");
  }
  void TearDown() override { UnloadCodeTablesForTesting(); }

  TempDir dir_;
};

struct ByteCase {
  Bytes input;
  Bytes output;
};

TEST_F(CharMapTest, Big5BytesToGb) {
  const ByteCase cases[] = {
      {{}, {}},
      {{0x41, 0x31, 0x00, 0x7F, 0x80}, {0x41, 0x31, 0x00, 0x7F, 0x80}},
      {{0xB0, 0xEA, 0xB1, 0x69}, {0xB9, 0xFA, 0xD5, 0xC5}},
      {{0x41, 0xA4, 0x40, 0x42}, {0x41, 0x41, 0xD7, 0x42}},  // 0x4000 + 471
      {{0xA4, 0xA1, 0xA1, 0x40}, {0x42, 0x16, 0x40, 0x00}},  // 0x4000 + 534, 0x4000 + 0
      {{0xFE, 0xFE}, {0x79, 0xA5}},                          // 0x4000 + 14757
      {{0x41, 0xB0}, {0x41, 0xB0}},                          // lone lead byte at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapBig5BytesToGb(c.input), c.output) << ::testing::PrintToString(c.input);
  }
}

TEST_F(CharMapTest, GbBytesToBig5) {
  const ByteCase cases[] = {
      {{0x41, 0x20, 0x00}, {0x41, 0x20, 0x00}},
      {{0xB9, 0xFA, 0xD5, 0xC5}, {0xB0, 0xEA, 0xB1, 0x69}},
      // A GB code that is no CP950 character still maps: 0xC000 + 220.
      {{0xA3, 0xC1}, {0xC0, 0xDC}},
      {{0xA1, 0xA1, 0xF7, 0xFE}, {0xC0, 0x00, 0xDF, 0xF1}},  // 0xC000 + 8177
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapGbBytesToBig5(c.input), c.output) << ::testing::PrintToString(c.input);
  }
}

TEST_F(CharMapTest, BytesOutsideTheTableThrow) {
  const Bytes big5[] = {{0x81, 0x40}, {0xA0, 0xFE}, {0xFF, 0x40}, {0xA1, 0x7F}, {0xA1, 0xA0},
                        {0x41, 0xA1, 0x3F}};
  for (const auto& bytes : big5) {
    EXPECT_EQ(ErrorNumber([&] { MapBig5BytesToGb(bytes); }), err::kSubscriptOutOfRange)
        << ::testing::PrintToString(bytes);
  }
  const Bytes gb[] = {{0xF8, 0xA1}, {0xA0, 0xA1}, {0xA2, 0xA0}, {0xA2, 0x40}, {0xB0, 0xFF}};
  for (const auto& bytes : gb) {
    EXPECT_EQ(ErrorNumber([&] { MapGbBytesToBig5(bytes); }), err::kSubscriptOutOfRange)
        << ::testing::PrintToString(bytes);
  }
}

TEST_F(CharMapTest, Big5TextToGb) {
  const std::string mapped = MapBig5ToGb("A國1張");
  // Text whose CP950 bytes are the GB2312 bytes of the same characters.
  const Bytes bytes = EncodeText(mapped, CodePage::Big5);
  EXPECT_EQ(bytes, (Bytes{0x41, 0xB9, 0xFA, 0x31, 0xD5, 0xC5}));
  EXPECT_EQ(DecodeText(bytes, CodePage::Gbk), "A国1张");
}

TEST_F(CharMapTest, GbTextToBig5) {
  // A name collected from a terminal, its GB2312 bytes read as CP950.
  const std::string collected = DecodeText(Bytes{0xB9, 0xFA, 0x20, 0xD5, 0xC5}, CodePage::Big5);
  EXPECT_EQ(MapGbToBig5(collected, "2"), "國 張");
  EXPECT_EQ(MapGbToBig5(collected, "0"), "國 張");
}

TEST_F(CharMapTest, TextWithoutTwoByteCharactersIsUnchanged) {
  for (const char* text : {"", "AZaz09", "Card 12 -_.", "张"}) {  // 张 is no CP950 character
    EXPECT_EQ(MapBig5ToGb(text), text);
    EXPECT_EQ(MapGbToBig5(text, "2"), text);
  }
}

TEST_F(CharMapTest, PassThroughReturnsTextUnchanged) {
  for (const char* text : {"國張", "\xB9\xFA", "abc", ""}) {
    EXPECT_EQ(MapGbToBig5(text, "1"), text);
  }
}

TEST_F(CharMapTest, TextOutsideTheTableThrows) {
  // 一 is A4 40: no GB column for a trail of 0x40; ▓ is F9 FE: beyond the
  // last GB row.
  for (const char* text : {"一", "A▓"}) {
    EXPECT_EQ(ErrorNumber([&] { MapGbToBig5(text, "2"); }), err::kSubscriptOutOfRange) << text;
  }
}

TEST(CharMapWithoutTablesTest, LookupsThrowButPlainTextMaps) {
  UnloadCodeTablesForTesting();
  EXPECT_EQ(ErrorNumber([] { MapBig5BytesToGb(Bytes{0xA4, 0x40}); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumber([] { MapGbBytesToBig5(Bytes{0xB9, 0xFA}); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumber([] { MapBig5ToGb("國"); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(MapBig5ToGb("AB12"), "AB12");
  EXPECT_EQ(MapBig5BytesToGb(Bytes{0x41, 0x42}), (Bytes{0x41, 0x42}));
}

TEST(CharMapShortTableTest, EntriesBeyondTheFileThrow) {
  TempDir dir;
  WriteFile(dir / "rm.txt", "A1A1\nB9FA\n");
  LoadCodeTables(dir / "rm.txt");
  EXPECT_EQ(MapBig5BytesToGb(Bytes{0xA1, 0x41}), (Bytes{0xB9, 0xFA}));
  EXPECT_EQ(ErrorNumber([] { MapBig5BytesToGb(Bytes{0xA1, 0x42}); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumber([] { MapGbBytesToBig5(Bytes{0xA1, 0xA1}); }), err::kSubscriptOutOfRange);
  UnloadCodeTablesForTesting();
}

}  // namespace
}  // namespace tallygate
