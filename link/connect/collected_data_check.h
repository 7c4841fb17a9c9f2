// Verification of a collected record file: every line must carry a valid
// date and time, times must not go backwards, the file must hold at least the
// terminal's count of records, and the newest record must be recent enough.
#ifndef TALLYGATE_LINK_CONNECT_COLLECTED_DATA_CHECK_H_
#define TALLYGATE_LINK_CONNECT_COLLECTED_DATA_CHECK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallygate {

// A local date and time as seconds counted on the civil calendar (no time
// zone), so that times from the file and the clock compare directly.
using CivilSeconds = int64_t;

CivilSeconds ToCivilSeconds(int year, int month, int day, int hour, int minute, int second);
// The computer's local date and time now.
CivilSeconds LocalNow();

// The date and time of a record line, read where the collection put them for
// the options given; nothing when the line is too short or its date or time
// is not valid. Throws BasicError ("Type mismatch") when the card field is
// not a number of its form.
std::optional<CivilSeconds> RecordLineTime(const std::string& line, bool decimal_card,
                                           bool full_year);

// The Chinese general date form: "2026/3/15 8:30:05"; the time is left out
// at midnight, as the general form does.
std::string ChineseGeneralDate(CivilSeconds time);

struct CheckResult {
  int16_t code;
  std::optional<std::string> description;  // nothing: left as the caller passed it
};

// The checks after the count has been read and the file found: lines, order,
// count, age. Throws BasicError for a card field that is not a number.
CheckResult CheckRecordLines(const std::vector<std::string>& lines, int32_t terminal_count,
                             int16_t delay_hours, bool decimal_card, bool full_year,
                             CivilSeconds now);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_COLLECTED_DATA_CHECK_H_
