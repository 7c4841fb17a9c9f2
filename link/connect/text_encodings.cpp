#include "link/connect/text_encodings.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "tallygate/basic_convert.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

// Callers count pairs and widths in characters, so a non-ASCII character
// must not shift the pairs after it. Malformed UTF-8 is cut byte by byte
// rather than refused: these texts are read leniently.
size_t CharLength(std::string_view text) {
  const auto lead = static_cast<uint8_t>(text[0]);
  const size_t expected = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 1;
  size_t length = 1;
  while (length < expected && length < text.size() &&
         (static_cast<uint8_t>(text[length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

size_t CharCount(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += CharLength(text.substr(i))) ++count;
  return count;
}

// The first `count` characters of `text` (all of it when shorter).
std::string_view LeadingChars(std::string_view text, size_t count) {
  size_t end = 0;
  for (size_t n = 0; n < count && end < text.size(); ++n) end += CharLength(text.substr(end));
  return text.substr(0, end);
}

}  // namespace

std::array<uint8_t, 4> DecimalCardBytes(std::string_view text) {
  const std::optional<double> value = ParseNumber(text);
  if (!value) throw BasicError(err::kTypeMismatch);
  const auto bits = static_cast<uint32_t>(RoundToInt32(*value));
  return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
          static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

uint8_t LenientHexByte(std::string_view pair) {
  // Val alone would skip blanks and read " 1" as 1; reading stops at the
  // first character that is no digit, blank or not. No digits read as 0, and
  // two always fit a byte.
  pair = LeadingChars(pair, 2);
  const auto end = std::find_if(pair.begin(), pair.end(), [](char c) { return !IsHexDigit(c); });
  return RoundToByte(Val("&H" + std::string(pair.begin(), end)));
}

std::vector<uint8_t> LenientHexPairs(std::string_view text, size_t count) {
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    const std::string_view pair = LeadingChars(text, 2);
    bytes.push_back(LenientHexByte(pair));
    text.remove_prefix(pair.size());
  }
  return bytes;
}

uint8_t StrictHexByte(std::string_view pair) {
  // Digits only: a number conversion would also take surrounding blanks, and
  // "C 00" must not pass for a mode word of 0x0C00.
  const bool digits =
      !pair.empty() && pair.size() <= 2 && std::all_of(pair.begin(), pair.end(), IsHexDigit);
  const std::optional<double> value = digits ? ParseNumber("&H" + std::string(pair)) : std::nullopt;
  if (!value) throw BasicError(err::kTypeMismatch);
  return RoundToByte(*value);
}

std::string FillLeft(std::string_view text, size_t width) {
  const size_t count = CharCount(text);
  if (count < width) return std::string(width - count, '0') + std::string(text);
  const size_t skip = LeadingChars(text, count - width).size();
  return std::string(text.substr(skip));
}

}  // namespace tallygate
