// Dates as a Basic caller holds them: days since 1899-12-30, the fraction
// being the time of day. Before that day the whole part counts back and the
// fraction still counts forward (-1.25 is 1899-12-29 06:00).
#ifndef TALLYGATE_DATE_H_
#define TALLYGATE_DATE_H_

#include <optional>
#include <string>
#include <string_view>

namespace tallygate {

struct Date {
  double serial = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  friend bool operator==(const DateParts&, const DateParts&) = default;
};

// Serials outside 100-01-01 to 9999-12-31 23:59:59 are not dates.
bool IsDateSerial(double serial);

// The date of valid parts (year 100 to 9999, a real calendar day, hour 0 to
// 23, minute and second 0 to 59); nothing for any other.
std::optional<Date> MakeDate(const DateParts& parts);

// The parts of a valid date, rounded to the nearest second.
DateParts SplitDate(Date date);

// Reads "hh:mm", "hh:mm:ss", "yyyy-mm-dd", or a date and a time separated by
// blanks or a T; hours, minutes, seconds, months and days of one or two
// digits; blanks around the text. Nothing for any other text or an invalid
// date. A time alone is a time on day 0 (1899-12-30).
std::optional<Date> ParseDateText(std::string_view text);

// "hh:mm:ss" for a time on day 0, "yyyy-mm-dd" for a date at midnight,
// "yyyy-mm-dd hh:mm:ss" otherwise.
std::string FormatDate(Date date);

}  // namespace tallygate

#endif  // TALLYGATE_DATE_H_
