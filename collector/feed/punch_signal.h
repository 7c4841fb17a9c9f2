// Tells the threads that follow the store (the live feed, the sinks) that
// punches were stored, so that they read on at once instead of at their
// next look. It carries no punches: readers read them from the store, in
// id order, after the last id they had.
#ifndef TALLYGATE_COLLECTOR_FEED_PUNCH_SIGNAL_H_
#define TALLYGATE_COLLECTOR_FEED_PUNCH_SIGNAL_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace tallygate::collector {

class PunchSignal {
 public:
  // Punches were stored (by this collector, or by another on the same
  // database): wakes every waiter.
  void Stored();

  // How many times Stored() was called so far.
  uint64_t Count();

  // Returns when Count() has passed `seen`, at `until`, after Stop() or
  // when `stop` is requested, whichever is first; returns Count().
  uint64_t WaitPast(uint64_t seen, std::chrono::steady_clock::time_point until,
                    std::stop_token stop = {});

  // Wakes every waiter for good: the service is stopping.
  void Stop();
  bool Stopped();

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  uint64_t count_ = 0;
  bool stopped_ = false;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_FEED_PUNCH_SIGNAL_H_
