// A rate of card swipes a second, as --punch-rate and the punch-rate
// control command take it.
#ifndef TALLYGATE_SIM_APP_PUNCH_RATE_H_
#define TALLYGATE_SIM_APP_PUNCH_RATE_H_

#include <optional>
#include <string_view>

namespace tallygate::sim {

inline constexpr double kMaxPunchRate = 1000;

// A decimal fraction from 0 to kMaxPunchRate (0.5 allowed, no exponent);
// nothing when `text` is not one.
std::optional<double> ParsePunchRate(std::string_view text);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_PUNCH_RATE_H_
