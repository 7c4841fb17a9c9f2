#include "sim/model/bcd_time.h"

namespace tallygate::sim {

using namespace std::chrono;

uint8_t Bcd(unsigned value) { return static_cast<uint8_t>(((value / 10) << 4) | (value % 10)); }

std::array<uint8_t, 6> BcdTime(sys_seconds when) {
  const sys_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{when - day};
  return {Bcd(static_cast<unsigned>(static_cast<int>(date.year()) % 100)),
          Bcd(static_cast<unsigned>(date.month())),
          Bcd(static_cast<unsigned>(date.day())),
          Bcd(static_cast<unsigned>(time.hours().count())),
          Bcd(static_cast<unsigned>(time.minutes().count())),
          Bcd(static_cast<unsigned>(time.seconds().count()))};
}

}  // namespace tallygate::sim
