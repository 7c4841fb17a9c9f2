// A time of day as the configuration writes it: "HH:MM", 24-hour clock.
#ifndef TALLYGATE_COLLECTOR_CONFIG_CLOCK_TEXT_H_
#define TALLYGATE_COLLECTOR_CONFIG_CLOCK_TEXT_H_

#include <chrono>
#include <string>
#include <string_view>

namespace tallygate::collector {

// "00:00" to "23:59", two digits each, as minutes after midnight. Throws
// InputError saying what is wrong.
std::chrono::minutes ParseClockText(std::string_view text);

// Minutes after midnight (0 to 1439) as "HH:MM".
std::string ClockText(std::chrono::minutes time);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_CLOCK_TEXT_H_
