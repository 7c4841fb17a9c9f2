#include "collector/base/value_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace tallygate::collector {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexLetter(char c) { return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

uint32_t Number(std::string_view digits, int base, std::string_view whole) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || end != digits.data() + digits.size()) {
    throw InputError(Quoted(whole) + " is not a card number: write decimal digits, "
                                "or hexadecimal as 0x0012D687");
  }
  if (error == std::errc::result_out_of_range || (base == 16 && digits.size() > 8)) {
    throw InputError(Quoted(whole) + " is larger than a card number (at most "
                                "4294967295, hexadecimal FFFFFFFF)");
  }
  return value;
}

}  // namespace

std::optional<LocalDay> ParseDay(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(text[i])) return std::nullopt;
  }
  auto number = [&](size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const std::chrono::year_month_day day{std::chrono::year{number(0, 4)},
                                        std::chrono::month{static_cast<unsigned>(number(5, 2))},
                                        std::chrono::day{static_cast<unsigned>(number(8, 2))}};
  if (!day.ok()) return std::nullopt;
  return LocalDay{day};
}

std::string DayText(LocalDay day) {
  const std::chrono::year_month_day date{day};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", int{date.year()}, unsigned{date.month()},
                unsigned{date.day()});
  return text;
}

uint32_t ParseCard(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  for (std::string_view prefix : {"0x", "0X", "hex:", "HEX:"}) {
    if (text.substr(0, prefix.size()) == prefix) return Number(text.substr(prefix.size()), 16, text);
  }
  if (std::any_of(text.begin(), text.end(), IsHexLetter)) return Number(text, 16, text);
  return Number(text, 10, text);
}

uint32_t ParseKeptCard(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.starts_with("0x") || text.starts_with("0X")) return Number(text.substr(2), 16, text);
  return Number(text, 10, text);
}

std::string CardHex(uint32_t card) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", card);
  return text;
}

}  // namespace tallygate::collector
