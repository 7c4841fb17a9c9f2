// Durations as the configuration writes them in text: "90s", "5m", "1h",
// "1h30m", "2h15m30s".
#ifndef TALLYGATE_COLLECTOR_CONFIG_DURATION_TEXT_H_
#define TALLYGATE_COLLECTOR_CONFIG_DURATION_TEXT_H_

#include <chrono>
#include <string_view>

namespace tallygate::collector {

// Hours, minutes and seconds, in that order, each at most once, each a
// whole number. Throws InputError saying what is wrong.
std::chrono::seconds ParseDurationText(std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_DURATION_TEXT_H_
