// The local date and time now, as a terminal stamps a card swipe.
#ifndef TALLYGATE_SIM_APP_WALL_CLOCK_H_
#define TALLYGATE_SIM_APP_WALL_CLOCK_H_

#include <array>
#include <cstdint>

namespace tallygate::sim {

// YY MM DD hh mm ss in packed BCD, in the system's time zone.
std::array<uint8_t, 6> LocalBcdTimeNow();

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_WALL_CLOCK_H_
