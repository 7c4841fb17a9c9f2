// Times as the stores keep them: text that sorts as the time does.
//   local  "2024-03-05 08:01:02"   (SQLite; PostgreSQL's timestamp)
//   UTC    "2024-03-05T08:01:02Z"  (SQLite; PostgreSQL reads it as timestamptz)
#ifndef TALLYGATE_COLLECTOR_BASE_TIME_TEXT_H_
#define TALLYGATE_COLLECTOR_BASE_TIME_TEXT_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "collector/base/punch.h"

namespace tallygate::collector {

std::string LocalTimeText(LocalTime time);
std::string UtcTimeText(UtcTime time);

// Seconds since 1970-01-01 00:00:00 of either form above, or of PostgreSQL's
// output in the UTC session zone ("2024-03-05 08:01:02+00"); absent for any
// other text.
std::optional<std::chrono::seconds> ParseTimeText(std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_TIME_TEXT_H_
