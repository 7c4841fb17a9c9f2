// The simulator's clock. Model classes take the time as an argument instead
// of reading it, so tests drive them with made-up times.
#ifndef TALLYGATE_SIM_MODEL_CLOCK_H_
#define TALLYGATE_SIM_MODEL_CLOCK_H_

#include <chrono>

namespace tallygate::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_CLOCK_H_
