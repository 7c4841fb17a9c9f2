#include "tallygate/date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tallygate {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);
const double kFirstSerial = static_cast<double>(DaysFromCivil(100, 1, 1) - kEpoch);
const double kLastSerial = static_cast<double>(DaysFromCivil(9999, 12, 31) - kEpoch) + 1.0;

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads 1 to `max_digits` decimal digits at `pos`.
bool ReadNumber(std::string_view text, size_t& pos, int max_digits, int& value) {
  int digits = 0;
  value = 0;
  while (pos < text.size() && digits < max_digits && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits > 0;
}

bool ReadSeparator(std::string_view text, size_t& pos, char separator) {
  if (pos >= text.size() || text[pos] != separator) return false;
  ++pos;
  return true;
}

// "hh:mm" or "hh:mm:ss" filling the time of `parts`; the whole rest of text.
bool ReadTime(std::string_view text, size_t pos, DateParts& parts) {
  if (!ReadNumber(text, pos, 2, parts.hour) || !ReadSeparator(text, pos, ':') ||
      !ReadNumber(text, pos, 2, parts.minute)) {
    return false;
  }
  if (pos < text.size()) {
    if (!ReadSeparator(text, pos, ':') || !ReadNumber(text, pos, 2, parts.second)) return false;
  }
  return pos == text.size();
}

}  // namespace

bool IsDateSerial(double serial) {
  return std::isfinite(serial) && serial >= kFirstSerial && serial < kLastSerial;
}

std::optional<Date> MakeDate(const DateParts& p) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
      p.minute > 59 || p.second < 0 || p.second > 59) {
    return std::nullopt;
  }
  const double day = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kEpoch);
  const double time = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / kSecondsPerDay;
  return Date{day < 0 ? day - time : day + time};
}

DateParts SplitDate(Date date) {
  double whole = std::trunc(date.serial);
  int64_t seconds = std::llround(std::fabs(date.serial - whole) * kSecondsPerDay);
  auto day = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;  // the next calendar day, whichever side of day 0
  }
  DateParts parts;
  CivilFromDays(day + kEpoch, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

std::optional<Date> ParseDateText(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  DateParts parts;
  if (text.find('-') == std::string_view::npos) {
    if (!ReadTime(text, 0, parts)) return std::nullopt;
    return MakeDate(parts);
  }
  size_t pos = 0;
  const size_t year_start = pos;
  if (!ReadNumber(text, pos, 4, parts.year) || pos - year_start != 4 ||
      !ReadSeparator(text, pos, '-') || !ReadNumber(text, pos, 2, parts.month) ||
      !ReadSeparator(text, pos, '-') || !ReadNumber(text, pos, 2, parts.day)) {
    return std::nullopt;
  }
  if (pos < text.size()) {
    const size_t gap = pos;
    if (text[pos] == 'T') {
      ++pos;
    } else {
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
    }
    if (pos == gap || !ReadTime(text, pos, parts)) return std::nullopt;
  }
  return MakeDate(parts);
}

std::string FormatDate(Date date) {
  const DateParts p = SplitDate(date);
  char buffer[32];
  const bool no_date = p.year == 1899 && p.month == 12 && p.day == 30;
  const bool no_time = p.hour == 0 && p.minute == 0 && p.second == 0;
  if (no_date) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  } else if (no_time) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
  }
  return buffer;
}

}  // namespace tallygate
