#include "collector/feed/punch_signal.h"

namespace tallygate::collector {

void PunchSignal::Stored() {
  {
    std::lock_guard lock(mutex_);
    ++count_;
  }
  changed_.notify_all();
}

uint64_t PunchSignal::Count() {
  std::lock_guard lock(mutex_);
  return count_;
}

uint64_t PunchSignal::WaitPast(uint64_t seen, std::chrono::steady_clock::time_point until,
                               std::stop_token stop) {
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, stop, until, [&] { return count_ != seen || stopped_; });
  return count_;
}

void PunchSignal::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

bool PunchSignal::Stopped() {
  std::lock_guard lock(mutex_);
  return stopped_;
}

}  // namespace tallygate::collector
