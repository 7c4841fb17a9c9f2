#include "collector/base/sleep.h"

#include <condition_variable>
#include <mutex>

namespace tallygate::collector {

bool SleepUntil(std::chrono::steady_clock::time_point until, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any never;
  std::unique_lock lock(mutex);
  never.wait_until(lock, stop, until, [] { return false; });
  return stop.stop_requested();
}

}  // namespace tallygate::collector
