#include "tools/tallygate/call_arguments.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tools/tallygate/member_lookup.h"

namespace tallygate::cli {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool AllDigits(std::string_view text, int base) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                               : c >= '0' && c <= '7';
    if (!ok) return false;
  }
  return true;
}

// &H1F or &O17: a number in Basic's notation, not a by-reference mark.
bool IsBasicNumber(std::string_view word) {
  if (word.size() < 3 || word[0] != '&') return false;
  const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(word[1])));
  return (base == 'H' && AllDigits(word.substr(2), 16)) ||
         (base == 'O' && AllDigits(word.substr(2), 8));
}

Variant DateArray(const std::string& word) {
  if (word.size() < 2 || word.back() != ']') {
    throw UsageError("array argument without its closing ]: " + word);
  }
  const std::string_view inner(word.data() + 1, word.size() - 2);
  std::vector<Variant> items;
  if (!Trim(inner).empty()) {
    size_t start = 0;
    while (true) {
      const size_t comma = inner.find(',', start);
      const std::string_view item = Trim(inner.substr(start, comma - start));
      items.push_back(ChangeType(Variant(item), TG_DATE));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  return Variant(std::move(items));
}

// The whole number `text` stands for: decimal with an optional sign, or
// Basic's &H / &O forms.
std::optional<int64_t> WholeNumber(std::string_view text) {
  int base = 10;
  if (IsBasicNumber(text)) {
    base = std::toupper(static_cast<unsigned char>(text[1])) == 'H' ? 16 : 8;
    text.remove_prefix(2);
  } else if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
  }
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  // &HFFFF is -1 as an Integer, &HFFFFFFFF -1 as a Long, as Basic reads them.
  if (base == 16 && text.size() <= 4 && value > 0x7FFF) value -= 0x10000;
  if (base == 16 && text.size() > 4 && text.size() <= 8 && value > 0x7FFFFFFF) {
    value -= int64_t{1} << 32;
  }
  return value;
}

std::pair<int64_t, int64_t> RangeOf(int32_t kind) {
  switch (kind) {
    case TG_BYTE: return {0, 255};
    case TG_I2: return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
    default: return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  }
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Refuses a text parameter `p` (argument `position`) cannot take.
void Check(const binding::Parameter& p, size_t position, const std::string& text) {
  const std::string where =
      "argument " + std::to_string(position) + " (" + p.name + "): " + Quoted(text);
  if (p.kind == TG_BYTE || p.kind == TG_I2 || p.kind == TG_I4) {
    const auto [low, high] = RangeOf(p.kind);
    const std::optional<int64_t> value = WholeNumber(text);
    if (!value || *value < low || *value > high) {
      throw ArgumentError(where + " is not a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high));
    }
    return;
  }
  if (p.kind == TG_BOOL || p.kind == TG_DATE || p.kind == TG_R4 || p.kind == TG_R8) {
    try {
      static_cast<void>(ChangeType(Variant(std::string_view(text)), p.kind));
    } catch (const BasicError&) {
      throw ArgumentError(where + " is not a " + KindName(p.kind));
    }
  }
}

}  // namespace

std::optional<std::string> CardFromHex(std::string_view word) {
  std::string_view digits;
  if (word.size() == 10 && (word.substr(0, 2) == "0x" || word.substr(0, 2) == "0X")) {
    digits = word.substr(2);
  } else if (word.size() == 12 && word.substr(0, 4) == "hex:") {
    digits = word.substr(4);
  } else {
    return std::nullopt;
  }
  const std::optional<int32_t> value = CardValue(digits);
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

std::optional<int32_t> CardValue(std::string_view hex_digits) {
  if (hex_digits.size() != 8 || !AllDigits(hex_digits, 16)) return std::nullopt;
  uint32_t value = 0;
  std::from_chars(hex_digits.data(), hex_digits.data() + hex_digits.size(), value, 16);
  return static_cast<int32_t>(value);
}

CallArguments MakeCallArguments(const std::vector<std::string>& words,
                                const binding::Member* member, bool basic_conversions) {
  CallArguments out;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const binding::Parameter* parameter =
        member != nullptr && i < member->parameters.size() ? &member->parameters[i] : nullptr;
    const bool by_ref = !word.empty() && (word[0] == '@' || (word[0] == '&' && !IsBasicNumber(word)));
    if (by_ref) {
      out.variables.push_back(std::make_unique<Variant>(std::string_view(word).substr(1)));
      out.values.push_back(Variant::Ref(*out.variables.back()));
      out.variable_names.push_back(parameter != nullptr ? parameter->name
                                                        : "argument " + std::to_string(i + 1));
      continue;
    }
    if (word == "~") {
      out.values.push_back(Variant::Missing());
      continue;
    }
    if (!word.empty() && word[0] == '[') {
      out.values.push_back(DateArray(word));
      continue;
    }
    std::string text = !word.empty() && word[0] == '\\' ? word.substr(1) : word;
    if (word.empty() || word[0] != '\\') {
      if (const std::optional<std::string> card = CardFromHex(word)) text = *card;
    }
    if (parameter != nullptr && !basic_conversions) Check(*parameter, i + 1, text);
    out.values.emplace_back(std::string_view(text));
  }
  return out;
}

}  // namespace tallygate::cli
