#include "sim/app/punch_rate.h"

#include <charconv>

namespace tallygate::sim {

std::optional<double> ParsePunchRate(std::string_view text) {
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !(value >= 0) ||
      value > kMaxPunchRate) {
    return std::nullopt;
  }
  return value;
}

}  // namespace tallygate::sim
