#include "collector/config/duration_text.h"

#include <charconv>
#include <string>

#include "collector/base/failure.h"

namespace tallygate::collector {

namespace {

constexpr std::string_view kForms = "a duration is written like \"90s\", \"5m\", \"1h\" or \"1h30m\"";

// Nine digits of hours still fit in seconds many times over.
constexpr std::size_t kMostDigits = 9;

InputError Wrong(const std::string& what) { return InputError(what + "; " + std::string(kForms)); }

}  // namespace

std::chrono::seconds ParseDurationText(std::string_view text) {
  if (text.empty()) throw Wrong("empty duration");
  constexpr std::string_view kUnits = "hms";
  constexpr long long kUnitSeconds[] = {3600, 60, 1};
  std::size_t next_unit = 0;  // units must come in the order of kUnits
  long long total = 0;
  while (!text.empty()) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) throw Wrong("'" + std::string(text) + "' does not start with a number");
    if (digits > kMostDigits) throw Wrong("number too large");
    if (digits == text.size()) throw Wrong("'" + std::string(text) + "' has no unit (h, m or s)");
    const std::size_t unit = kUnits.find(text[digits]);
    if (unit == std::string_view::npos) {
      throw Wrong("unknown unit '" + std::string(1, text[digits]) + "' (h, m or s)");
    }
    if (unit < next_unit) throw Wrong("units out of order or repeated");
    long long number = 0;
    std::from_chars(text.data(), text.data() + digits, number);
    total += number * kUnitSeconds[unit];
    next_unit = unit + 1;
    text.remove_prefix(digits + 1);
  }
  return std::chrono::seconds(total);
}

}  // namespace tallygate::collector
