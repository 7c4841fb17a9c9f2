#include "tallygate/basic_convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Whether decimal text (sign, digits, point, exponent "e..") stands for a
// number below 1 in magnitude: its first significant digit lies after the
// point once the exponent has moved it.
bool BelowOne(const std::string& digits) {
  const size_t e = digits.find('e');
  const std::string mantissa = digits.substr(0, e);
  long long exponent = 0;
  if (e != std::string::npos) {
    const std::string text = digits.substr(e + 1);
    // Exponents too long for a long long are far beyond any double.
    if (text.size() > 15) return text[0] == '-';
    exponent = std::stoll(text);
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t significant = mantissa.find_first_of("123456789");
  if (significant == std::string::npos) return true;
  // The first significant digit's power of ten.
  const long long power = significant < point ? static_cast<long long>(point - significant) - 1
                                              : -static_cast<long long>(significant - point);
  return power + exponent < 0;
}

// Reads a number from the start of `s`; `consumed` tells how far it got.
// Returns nothing when no digit was read.
std::optional<double> ReadNumber(std::string_view s, size_t& consumed) {
  size_t i = 0;
  if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    i = 2;
    uint64_t value = 0;
    size_t digits = 0;
    while (i < s.size() && DigitValue(s[i]) < base && digits < 22) {
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(s[i]));
      ++i;
      ++digits;
    }
    consumed = i;
    if (digits == 0) return std::nullopt;
    // Short literals are 16-bit, longer ones 32-bit, as Basic types them.
    if (value <= 0xFFFF && ((base == 16 && digits <= 4) || (base == 8 && digits <= 6))) {
      return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(value)));
    }
    if (value <= 0xFFFFFFFFull) {
      return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
    }
    throw BasicError(err::kOverflow);
  }

  std::string digits;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) digits += s[i++];
  bool any = false;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') { digits += s[i++]; any = true; }
  if (i < s.size() && s[i] == '.') {
    digits += s[i++];
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') { digits += s[i++]; any = true; }
  }
  if (!any) {
    consumed = 0;
    return std::nullopt;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent += s[j++];
    bool exp_digits = false;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') { exponent += s[j++]; exp_digits = true; }
    if (exp_digits) {
      digits += exponent;
      i = j;
    }
  }
  consumed = i;
  // from_chars ignores the process locale, so a host that sets a locale with
  // a decimal comma reads the same numbers.
  double value = 0;
  const char* first = digits.data();
  if (*first == '+') ++first;
  auto [end, ec] = std::from_chars(first, digits.data() + digits.size(), value);
  // Out of range both ways: too large is an overflow, too small to tell from
  // zero reads as zero (as Basic reads "1E-400").
  if (ec == std::errc::result_out_of_range && end == digits.data() + digits.size() &&
      BelowOne(digits)) {
    return 0.0;
  }
  if (ec == std::errc::result_out_of_range || !std::isfinite(value)) {
    throw BasicError(err::kOverflow);
  }
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

template <typename T>
T RoundChecked(double value) {
  if (!std::isfinite(value)) throw BasicError(err::kOverflow);
  const double rounded = std::nearbyint(value);  // default rounding: halves to even
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max())) {
    throw BasicError(err::kOverflow);
  }
  return static_cast<T>(rounded);
}

}  // namespace

double Val(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsBlank(c)) compact += c;
  }
  size_t consumed = 0;
  return ReadNumber(compact, consumed).value_or(0.0);
}

int16_t RoundToInt16(double value) { return RoundChecked<int16_t>(value); }
int32_t RoundToInt32(double value) { return RoundChecked<int32_t>(value); }
uint8_t RoundToByte(double value) { return RoundChecked<uint8_t>(value); }

std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  size_t consumed = 0;
  std::optional<double> value = ReadNumber(text, consumed);
  if (!value || consumed != text.size()) return std::nullopt;
  return value;
}

}  // namespace tallygate
