// Replies and collected units as they arrive from a terminal, or from
// anything posing as one: the reply test of the exchange routines, then
// record and card units turned into the lines of the collected files.
//
// Input: byte 0 the options, byte 1 the terminal address, the rest the
// received stream, cut into units the way a collection reads it.
//   bits 0-1  unit kind: 16-byte records, 20-byte cards, 6-byte counts, or
//             a reply length of 4 to 17 taken from bits 4-7
//   bit 2     card numbers in decimal
//   bit 3     four-digit years
//   bits 4-5  locale class (3 counts as 2)
//   bit 6     address test off
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/synthetic_tables.h"
#include "link/connect/collected_data_check.h"
#include "link/connect/collected_lines.h"
#include "link/protocol/exchange.h"
#include "link/protocol/frame.h"
#include "tallygate/record_line.h"

namespace {

using tallygate::fuzz::Require;

constexpr int kRecordUnit = 16;
constexpr int kCardUnit = 20;
constexpr int kCountReply = 6;

bool BcdDigits(uint8_t byte, int& value) {
  const int high = byte >> 4, low = byte & 0x0F;
  if (high > 9 || low > 9) return false;
  value = high * 10 + low;
  return true;
}

// The time a record unit carries when its date and time bytes are valid
// packed BCD of a real day and time of day (years 2000 to 2099).
std::optional<tallygate::CivilSeconds> UnitTime(std::span<const uint8_t> unit) {
  int v[6];
  for (int i = 0; i < 6; ++i) {
    if (!BcdDigits(unit[7 + static_cast<size_t>(i)], v[i])) return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(2000 + v[0]),
                                         std::chrono::month(static_cast<unsigned>(v[1])),
                                         std::chrono::day(static_cast<unsigned>(v[2]))};
  if (!date.ok() || v[3] > 23 || v[4] > 59 || v[5] > 59) return std::nullopt;
  return tallygate::ToCivilSeconds(2000 + v[0], v[1], v[2], v[3], v[4], v[5]);
}

bool OneTextLine(const std::string& line) {
  return line.find('\r') == std::string::npos && line.find('\n') == std::string::npos;
}

void CheckRecordUnit(int address, std::span<const uint8_t> unit, bool decimal, bool full_year) {
  const std::string line = tallygate::RecordLine(address, unit, decimal, full_year, "20");
  for (const char c : line) Require(c >= 0x21 && c <= 0x7E, "a record line is printable ASCII");
  const size_t card_width = decimal ? (line[3] == '-' ? 11 : 10) : 8;
  const size_t fixed = 3 + card_width + (full_year ? 8 : 6) + 6;
  Require(line.size() >= fixed + 2 && line.size() <= fixed + 4, "a record line has its width");
  // What the check of a collected file reads back is the time the unit
  // carried, or nothing when the unit's date or time is not valid.
  const std::optional<tallygate::CivilSeconds> read =
      tallygate::RecordLineTime(line, decimal, full_year);
  Require(read == UnitTime(unit), "a record line's time reads back as the unit's");
}

void CheckCardUnit(std::span<const uint8_t> unit, bool decimal, int16_t locale_class) {
  const std::string line = tallygate::CardLine(unit, decimal, locale_class);
  // Entry k of the list is line k of the file.
  Require(OneTextLine(line), "a card line holds no line break");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tallygate::fuzz::LoadSyntheticTables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t options = data[0];
  const uint8_t address = data[1];
  const std::span<const uint8_t> stream(data + 2, size - 2);
  const bool decimal = (options & 0x04) != 0;
  const bool full_year = (options & 0x08) != 0;
  const auto locale_class = static_cast<int16_t>(std::min((options >> 4) & 0x03, 2));
  const bool check_address = (options & 0x40) == 0;

  int length = 0;
  switch (options & 0x03) {
    case 0: length = kRecordUnit; break;
    case 1: length = kCardUnit; break;
    case 2: length = kCountReply; break;
    default: length = 4 + (options >> 4); break;
  }

  for (size_t at = 0; at < stream.size(); at += static_cast<size_t>(length)) {
    const std::span<const uint8_t> unit =
        stream.subspan(at, std::min(stream.size() - at, static_cast<size_t>(length)));
    const bool valid = tallygate::CheckReply(unit, length, check_address, address).ok();
    if (unit.size() < static_cast<size_t>(length)) {
      Require(!valid, "a short reply never passes");
      break;
    }
    if (valid) {
      Require(!check_address || unit[0] == address, "a passed reply is from the address");
      Require(tallygate::XorOf(unit.first(static_cast<size_t>(length) - 1)) ==
                  unit[static_cast<size_t>(length) - 1],
              "a passed reply has its check byte");
    }
    // Lines are built from every whole unit, valid or not: what a line
    // makes of hostile bytes must be safe either way.
    if (length == kRecordUnit) CheckRecordUnit(address, unit, decimal, full_year);
    if (length == kCardUnit) CheckCardUnit(unit, decimal, locale_class);
  }
  return 0;
}
