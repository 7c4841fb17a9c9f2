#include "collector/app/stop_deadline.h"

#include <cstdio>
#include <cstdlib>

#include "collector/base/log.h"

namespace tallygate::collector {

StopDeadline::~StopDeadline() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    done_ = true;
  }
  ended_.notify_all();
  thread_.join();
}

void StopDeadline::Start(int status, const std::string& waiting_for) {
  if (thread_.joinable()) return;
  NowWaitingFor(waiting_for);
  thread_ = std::thread([this, status] {
    std::unique_lock lock(mutex_);
    if (ended_.wait_for(lock, kStopGrace, [this] { return done_; })) return;
    Log(LogLevel::kWarning,
        "stopping: still waiting after " + std::to_string(kStopGrace.count()) + " s for " +
            waiting_for_ +
            "; exiting without it (what the store committed stays; what it had not, it "
            "rolls back, and the page is fetched again at the next poll)");
    std::fflush(nullptr);
    std::_Exit(status);
  });
}

void StopDeadline::NowWaitingFor(const std::string& waiting_for) {
  const std::lock_guard lock(mutex_);
  waiting_for_ = waiting_for;
}

}  // namespace tallygate::collector
