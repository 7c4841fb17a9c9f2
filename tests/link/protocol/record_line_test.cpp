#include "tallygate/record_line.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "link/protocol/units.h"

namespace tallygate {
namespace {

struct Fields {
  std::string address, card, year, month, day, hour, minute, second, flags;
  bool complete;
  bool operator==(const Fields&) const = default;
};

void PrintTo(const Fields& f, std::ostream* os) {
  *os << f.address << '|' << f.card << '|' << f.year << '|' << f.month << '|' << f.day << '|'
      << f.hour << '|' << f.minute << '|' << f.second << '|' << f.flags
      << (f.complete ? " complete" : " incomplete");
}

Fields Read(std::string_view line, RecordLineOptions options) {
  const RecordLineFields f = ParseRecordLine(line, options);
  return {std::string(f.address), std::string(f.card),   std::string(f.year),
          std::string(f.month),   std::string(f.day),    std::string(f.hour),
          std::string(f.minute),  std::string(f.second), std::string(f.flags),
          f.complete};
}

// The card width differs by option and, in decimal, by sign: each line the
// writer makes must be cut back into the fields it was made from.
TEST(RecordLineTest, ReaderFindsTheWritersFields) {
  struct Case {
    const char* name;
    std::array<uint8_t, 4> card;
    uint8_t flag;
    RecordLineOptions options;
    Fields fields;
  };
  const Case cases[] = {
      {"hexadecimal", {0x00, 0x12, 0xD6, 0x87}, 0x01, {false, false},
       {"007", "0012D687", "24", "03", "15", "08", "30", "05", "199", true}},
      {"decimal, positive", {0x00, 0x12, 0xD6, 0x87}, 0x01, {true, false},
       {"007", "0001234567", "24", "03", "15", "08", "30", "05", "199", true}},
      {"decimal, negative", {0xFF, 0xFF, 0xFF, 0xFF}, 0xFF, {true, false},
       {"007", "-0000000001", "24", "03", "15", "08", "30", "05", "FF99", true}},
      {"decimal, negative, full year", {0x80, 0x00, 0x00, 0x00}, 0x0A, {true, true},
       {"007", "-2147483648", "2024", "03", "15", "08", "30", "05", "A99", true}},
      {"hexadecimal, full year", {0xAB, 0xCD, 0xEF, 0x01}, 0x00, {false, true},
       {"007", "ABCDEF01", "2024", "03", "15", "08", "30", "05", "099", true}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> unit(record_unit::kLength, 0);
    std::copy(c.card.begin(), c.card.end(), unit.begin() + record_unit::kCard);
    const std::array<uint8_t, 6> when{0x24, 0x03, 0x15, 0x08, 0x30, 0x05};
    std::copy(when.begin(), when.end(), unit.begin() + record_unit::kTime);
    unit[record_unit::kFlag] = c.flag;
    unit[record_unit::kKeep] = 0x99;
    const std::string line =
        RecordLine(7, unit, c.options.decimal_card, c.options.full_year, "20");
    EXPECT_EQ(Read(line, c.options), c.fields) << c.name << ": " << line;
  }
}

// Any text is read as far as it goes: fields past the end are empty, the
// one it ends in is cut, and nothing is taken from beyond the line.
TEST(RecordLineTest, ShortAndLongLines) {
  struct Case {
    const char* name;
    const char* line;
    RecordLineOptions options;
    Fields fields;
  };
  const Case cases[] = {
      {"empty", "", {false, false}, {"", "", "", "", "", "", "", "", "", false}},
      {"ends in the card", "0010012", {false, false},
       {"001", "0012", "", "", "", "", "", "", "", false}},
      {"a minus sign alone", "001-", {true, false},
       {"001", "-", "", "", "", "", "", "", "", false}},
      {"ends in the seconds", "001-000000000124010203040", {true, false},
       {"001", "-0000000001", "24", "01", "02", "03", "04", "0", "", false}},
      {"complete without flag bytes", "0010012D687240102030405", {false, false},
       {"001", "0012D687", "24", "01", "02", "03", "04", "05", "", true}},
      {"text after the flag bytes", "0010012D687240102030405FF99junk", {false, false},
       {"001", "0012D687", "24", "01", "02", "03", "04", "05", "FF99", true}},
      {"full year read at the default places", "0010012D68720240102030405199", {false, false},
       {"001", "0012D687", "20", "24", "01", "02", "03", "04", "0519", true}},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.line, c.options), c.fields) << c.name;
}

}  // namespace
}  // namespace tallygate
