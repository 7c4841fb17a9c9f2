#include "sim/app/wall_clock.h"

#include <chrono>
#include <ctime>

#include "sim/model/bcd_time.h"

namespace tallygate::sim {

std::array<uint8_t, 6> LocalBcdTimeNow() {
  using namespace std::chrono;
  const sys_seconds now = floor<seconds>(system_clock::now());
  const std::time_t since_epoch = system_clock::to_time_t(now);
  std::tm local{};
  ::localtime_r(&since_epoch, &local);
  return BcdTime(now + seconds{local.tm_gmtoff});
}

}  // namespace tallygate::sim
