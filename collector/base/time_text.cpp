#include "collector/base/time_text.h"

#include <cstdio>

namespace tallygate::collector {
namespace {

std::string Format(std::chrono::sys_seconds time, char separator, const char* suffix) {
  const auto day = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{time - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02d:%02d:%02d%s", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()}, separator,
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), suffix);
  return text;
}

// The number of `count` digits at `text[at]`, or -1.
int Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string LocalTimeText(LocalTime time) {
  return Format(std::chrono::sys_seconds{time.time_since_epoch()}, ' ', "");
}

std::string UtcTimeText(UtcTime time) { return Format(time, 'T', "Z"); }

std::optional<std::chrono::seconds> ParseTimeText(std::string_view text) {
  if (text.size() < 19) return std::nullopt;
  const std::string_view zone = text.substr(19);
  if (!zone.empty() && zone != "Z" && zone != "+00") return std::nullopt;
  if (text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
      text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return std::chrono::sys_days{date}.time_since_epoch() + std::chrono::hours{hour} +
         std::chrono::minutes{minute} + std::chrono::seconds{second};
}

}  // namespace tallygate::collector
