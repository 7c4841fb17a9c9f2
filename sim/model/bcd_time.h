// Dates and times as terminals keep them: packed BCD, two digits a byte.
#ifndef TALLYGATE_SIM_MODEL_BCD_TIME_H_
#define TALLYGATE_SIM_MODEL_BCD_TIME_H_

#include <array>
#include <chrono>
#include <cstdint>

namespace tallygate::sim {

// Two decimal digits in one byte; `value` from 0 to 99.
uint8_t Bcd(unsigned value);

// YY MM DD hh mm ss of `when` read as a wall-clock time (the time zone is
// the caller's business: add the offset first for local time).
std::array<uint8_t, 6> BcdTime(std::chrono::sys_seconds when);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_BCD_TIME_H_
