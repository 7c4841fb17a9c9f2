#include "tallygate/record_line.h"

#include <algorithm>
#include <cstdio>

#include "link/protocol/hex_text.h"
#include "link/protocol/units.h"

namespace tallygate {
namespace {

std::string HexNoPadding(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%X", byte);
  return text;
}

// Takes the next `width` characters of a line, fewer at its end.
class FieldCutter {
 public:
  explicit FieldCutter(std::string_view line) : line_(line) {}

  std::string_view Next(size_t width) {
    const size_t at = std::min(at_, line_.size());
    at_ += width;
    return line_.substr(at, width);
  }
  bool Reached() const { return at_ <= line_.size(); }
  std::string_view Rest() const { return line_.substr(std::min(at_, line_.size())); }

 private:
  std::string_view line_;
  size_t at_ = 0;
};

// The width of the card field that starts at `at`.
size_t CardWidth(std::string_view line, size_t at, bool decimal) {
  using namespace record_line;
  if (!decimal) return kHexCardWidth;
  const bool negative = line.size() > at && line[at] == '-';
  return kDecimalCardWidth + (negative ? 1 : 0);
}

}  // namespace

std::string CardField(std::span<const uint8_t, 4> card, bool decimal) {
  if (!decimal) return BytesToHex(card);
  const auto value = static_cast<int32_t>((uint32_t{card[0]} << 24) | (uint32_t{card[1]} << 16) |
                                          (uint32_t{card[2]} << 8) | uint32_t{card[3]});
  char text[16];
  if (value < 0) {
    std::snprintf(text, sizeof text, "-%010lld", -static_cast<long long>(value));
  } else {
    std::snprintf(text, sizeof text, "%010d", value);
  }
  return text;
}

std::string RecordLine(int address, std::span<const uint8_t> unit, bool decimal_card,
                       bool full_year, const std::string& century) {
  std::string address_text = "000" + std::to_string(address);
  std::string line = address_text.substr(address_text.size() - record_line::kAddressWidth);
  line += CardField(unit.subspan<record_unit::kCard, 4>(), decimal_card);
  if (full_year) line += century;
  line += BytesToHex(unit.subspan(record_unit::kTime, record_unit::kTimeBytes));
  line += HexNoPadding(unit[record_unit::kFlag]);
  line += HexNoPadding(unit[record_unit::kKeep]);
  return line;
}

RecordLineFields ParseRecordLine(std::string_view line, RecordLineOptions options) {
  using namespace record_line;
  FieldCutter cut(line);
  RecordLineFields fields;
  fields.address = cut.Next(kAddressWidth);
  fields.card = cut.Next(CardWidth(line, kAddressWidth, options.decimal_card));
  fields.year = cut.Next(options.full_year ? kCenturyWidth + kPairWidth : kPairWidth);
  fields.month = cut.Next(kPairWidth);
  fields.day = cut.Next(kPairWidth);
  fields.hour = cut.Next(kPairWidth);
  fields.minute = cut.Next(kPairWidth);
  fields.second = cut.Next(kPairWidth);
  fields.complete = cut.Reached();
  fields.flags = cut.Next(kFlagsMaxWidth);
  return fields;
}

CardLineFields ParseCardLine(std::string_view line, bool decimal_card) {
  FieldCutter cut(line);
  CardLineFields fields;
  fields.card = cut.Next(CardWidth(line, 0, decimal_card));
  fields.staff = cut.Next(card_line::kStaffWidth);
  fields.complete = cut.Reached();
  fields.name = cut.Rest();
  return fields;
}

}  // namespace tallygate
