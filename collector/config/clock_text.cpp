#include "collector/config/clock_text.h"

#include <string>

#include "collector/base/failure.h"

namespace tallygate::collector {

std::chrono::minutes ParseClockText(std::string_view text) {
  const auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
  if (text.size() != 5 || text[2] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4)) {
    throw InputError("\"" + std::string(text) +
                     "\" is no time of day; write it as HH:MM, like \"04:00\"");
  }
  const int hours = (text[0] - '0') * 10 + (text[1] - '0');
  const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
  if (hours > 23 || minutes > 59) {
    throw InputError("\"" + std::string(text) + "\" is past 23:59");
  }
  return std::chrono::hours{hours} + std::chrono::minutes{minutes};
}

std::string ClockText(std::chrono::minutes time) {
  const auto two = [](int64_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  return two(time.count() / 60) + ":" + two(time.count() % 60);
}

}  // namespace tallygate::collector
