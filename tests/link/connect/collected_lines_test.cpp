#include "link/connect/collected_lines.h"

#include <gtest/gtest.h>

#include "link/text/code_page.h"

namespace tallygate {
namespace {

Bytes RecordUnit(std::array<uint8_t, 4> card, std::array<uint8_t, 6> when, uint8_t flag,
                 uint8_t keep) {
  Bytes unit(16, 0);
  unit[0] = 1;
  std::copy(card.begin(), card.end(), unit.begin() + 3);
  std::copy(when.begin(), when.end(), unit.begin() + 7);
  unit[13] = flag;
  unit[14] = keep;
  return unit;
}

TEST(RecordLineTest, Fields) {
  struct Case {
    const char* name;
    int address;
    Bytes unit;
    bool decimal;
    bool full_year;
    const char* line;
  };
  const Case cases[] = {
      {"default", 1, RecordUnit({0x00, 0x12, 0xD6, 0x87}, {0x24, 0x03, 0x15, 0x08, 0x30, 0x05}, 0x01, 0x99),
       false, false, "0010012D687240315083005199"},
      {"decimal card", 1, RecordUnit({0x00, 0x12, 0xD6, 0x87}, {0x24, 0x03, 0x15, 0x08, 0x30, 0x05}, 0x01, 0x99),
       true, false, "0010001234567240315083005199"},
      {"negative card", 12, RecordUnit({0xFF, 0xFF, 0xFF, 0xFF}, {0x26, 0x01, 0x02, 0x03, 0x04, 0x05}, 0x00, 0x00),
       true, false, "012-000000000126010203040500"},
      {"smallest card", 255, RecordUnit({0x80, 0x00, 0x00, 0x00}, {0x26, 0x01, 0x02, 0x03, 0x04, 0x05}, 0xFF, 0x0A),
       true, false, "255-2147483648260102030405FFA"},
      {"full year takes the clock's century", 1,
       RecordUnit({0xAB, 0xCD, 0xEF, 0x01}, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59}, 0x0A, 0x10),
       false, true, "001ABCDEF0120991231235959A10"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordLine(c.address, c.unit, c.decimal, c.full_year, "20"), c.line) << c.name;
  }
}

TEST(RecordLineTest, CenturyComesFromTheClock) {
  const std::string century = CurrentCentury();
  ASSERT_EQ(century.size(), 2u);
  EXPECT_GE(century, "20");
}

Bytes CardUnit(std::array<uint8_t, 8> name) {
  Bytes unit(20, 0);
  unit[0] = 1;
  unit[3] = 0x00; unit[4] = 0x12; unit[5] = 0xD6; unit[6] = 0x87;
  unit[7] = 0x00; unit[8] = 0x00; unit[9] = 0x01; unit[10] = 0x23;
  std::copy(name.begin(), name.end(), unit.begin() + 11);
  return unit;
}

TEST(CardLineTest, SimplifiedChineseNames) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::array<uint8_t, 8> bytes;
    std::string text;
  };
  const Case cases[] = {
      {"two characters then zeros", {0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0}, "张三\0\0"s},
      {"ASCII as codes below 256", {0x00, 'A', 0x00, 'b', 0x00, '1', 0x00, ' '}, "Ab1 "},
      {"mixed", {0xD5, 0xC5, 0x00, 'X', 0xB9, 0xFA, 0x00, 0x00}, "张X国\0"s},
      {"a pair that is no character", {0xFF, 0xFF, 0xD5, 0xC5, 0x00, 0x00, 0x00, 0x00}, "\uFFFD张\0\0"s},
      {"a lone high byte", {0x00, 0xB0, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00}, "\uFFFDA\0\0"s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CardName(c.bytes, 1), c.text) << c.name;
    EXPECT_EQ(CardName(c.bytes, 0), c.text) << c.name << " (non-Chinese system)";
  }
  EXPECT_EQ(CardLine(CardUnit({0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0}), false, 1),
            "0012D68700000123张三\0\0"s);
  EXPECT_EQ(CardLine(CardUnit({0x00, 'A', 0, 0, 0, 0, 0, 0}), true, 1),
            "000123456700000123A\0\0\0"s);
}

// Entry k of a collected card list is line k of its file: a terminal that
// sends CR or LF in a name must not split the entry, whatever the locale.
TEST(CardLineTest, LineBreaksInNamesStayOnTheirLine) {
  using namespace std::string_literals;
  const std::array<uint8_t, 8> name{0x00, 'A', 0x00, '\r', 0x00, '\n', 0x00, 'B'};
  // A pair whose lead byte is below 0x80 decodes as two single characters.
  const std::array<uint8_t, 8> pair{0x00, 'A', '\r', '\n', 0x0D, '?', 0x00, 'B'};
  for (const int16_t locale_class : {int16_t{0}, int16_t{1}}) {
    EXPECT_EQ(CardName(name, locale_class), "A\uFFFD\uFFFDB") << "locale class " << locale_class;
    EXPECT_EQ(CardName(pair, locale_class), "A\uFFFD\uFFFDB") << "locale class " << locale_class;
  }
  EXPECT_EQ(CardName(name, 2), "A\uFFFD\uFFFDB");
  const std::string line = CardLine(CardUnit({0x00, '\n', 0x00, '\r', 0, 0, 0, 0}), false, 1);
  EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
}

}  // namespace
}  // namespace tallygate
