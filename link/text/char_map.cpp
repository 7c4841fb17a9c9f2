#include "link/text/char_map.h"

#include <memory>

#include "link/text/code_page.h"
#include "tallygate/code_tables.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

constexpr int kBig5Columns = 157;
constexpr int kGbColumns = 94;
constexpr uint8_t kFirstLead = 0xA1;
constexpr uint8_t kLastBig5Lead = 0xFE;
constexpr uint8_t kLastGbLead = 0xF7;
constexpr uint8_t kFirstDoubleByteLead = 0x81;

// The CP950 bytes of the first character; throws unless there are two.
Bytes TwoCp950Bytes(std::string_view utf8_char) {
  const size_t length = Utf8CharLength(utf8_char);
  Bytes bytes = EncodeText(utf8_char.substr(0, length), CodePage::Big5);
  if (bytes.size() != 2) throw BasicError(err::kSubscriptOutOfRange);
  return bytes;
}

int RawBig5Index(uint8_t lead, uint8_t trail) {
  return (lead - kFirstLead) * kBig5Columns + (trail <= 0x7E ? trail - 0x40 : trail - 0x62);
}

int RawGbIndex(uint8_t lead, uint8_t trail) {
  return (lead - kFirstLead) * kGbColumns + (trail - kFirstLead);
}

int CheckedIndex(int index) {
  if (index < 0) throw BasicError(err::kSubscriptOutOfRange);
  return index;
}

// A table and the index function that goes with it.
struct Direction {
  CodeTable table;
  int (*index)(uint8_t lead, uint8_t trail);
};
constexpr Direction kBig5ToGb{CodeTable::Big5ToGb, Big5TableIndex};
constexpr Direction kGbToBig5{CodeTable::GbToBig5, GbTableIndex};

std::string MapText(std::string_view utf8_text, Direction direction) {
  // Looked up on first need, so text without two-byte characters maps
  // without tables.
  std::shared_ptr<const CodeTables> tables;
  std::string result;
  while (!utf8_text.empty()) {
    const size_t length = Utf8CharLength(utf8_text);
    const std::string_view ch = utf8_text.substr(0, length);
    utf8_text.remove_prefix(length);
    const Bytes bytes = EncodeText(ch, CodePage::Big5);
    if (bytes.size() != 2) {
      result += ch;
      continue;
    }
    if (!tables) tables = CurrentCodeTables();
    const uint16_t code =
        tables->Code(direction.table, CheckedIndex(direction.index(bytes[0], bytes[1])));
    const uint8_t mapped[] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    const std::string decoded = DecodeText(mapped, CodePage::Big5);
    result += decoded.substr(0, Utf8CharLength(decoded));
  }
  return result;
}

Bytes MapBytes(std::span<const uint8_t> input, Direction direction) {
  std::shared_ptr<const CodeTables> tables;
  Bytes result;
  result.reserve(input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    const uint8_t lead = input[i];
    if (lead < kFirstDoubleByteLead || i + 1 == input.size()) {
      result.push_back(lead);
      continue;
    }
    const uint8_t trail = input[++i];
    if (!tables) tables = CurrentCodeTables();
    const uint16_t code = tables->Code(direction.table, CheckedIndex(direction.index(lead, trail)));
    result.push_back(static_cast<uint8_t>(code >> 8));
    result.push_back(static_cast<uint8_t>(code));
  }
  return result;
}

}  // namespace

int16_t Big5CodeIndex(std::string_view utf8_char) {
  const Bytes bytes = TwoCp950Bytes(utf8_char);
  return static_cast<int16_t>(RawBig5Index(bytes[0], bytes[1]));
}

int16_t GbCodeIndex(std::string_view utf8_char) {
  const Bytes bytes = TwoCp950Bytes(utf8_char);
  return static_cast<int16_t>(RawGbIndex(bytes[0], bytes[1]));
}

int Big5TableIndex(uint8_t lead, uint8_t trail) {
  const bool column_ok = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE);
  if (lead < kFirstLead || lead > kLastBig5Lead || !column_ok) return -1;
  return RawBig5Index(lead, trail);
}

int GbTableIndex(uint8_t lead, uint8_t trail) {
  if (lead < kFirstLead || lead > kLastGbLead || trail < kFirstLead || trail > 0xFE) return -1;
  return RawGbIndex(lead, trail);
}

std::string MapBig5ToGb(std::string_view utf8_text) { return MapText(utf8_text, kBig5ToGb); }

std::string MapGbToBig5(std::string_view utf8_text, std::string_view pass_through) {
  if (pass_through == "1") return std::string(utf8_text);
  return MapText(utf8_text, kGbToBig5);
}

Bytes MapBig5BytesToGb(std::span<const uint8_t> big5) { return MapBytes(big5, kBig5ToGb); }

Bytes MapGbBytesToBig5(std::span<const uint8_t> gb) { return MapBytes(gb, kGbToBig5); }

}  // namespace tallygate
