#include "sim/app/event_loop.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace tallygate::sim {
namespace {

// Milliseconds until `deadline`, rounded up so that a deadline a fraction
// of a millisecond away does not make poll() spin.
int TimeoutMs(std::optional<TimePoint> deadline, TimePoint now) {
  if (!deadline) return -1;
  if (*deadline <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
  return static_cast<int>(std::min<long long>(wait.count(), 60'000));
}

}  // namespace

void EventLoop::Run() {
  running_ = true;
  std::vector<pollfd> fds;
  while (running_) {
    fds.clear();
    std::optional<TimePoint> deadline;
    for (Channel* channel : channels_) {
      channel->Watch(fds);
      const std::optional<TimePoint> due = channel->next_deadline();
      if (due && (!deadline || *due < *deadline)) deadline = due;
    }
    const int timeout = TimeoutMs(deadline, Clock::now());
    if (::poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "poll");
    }
    const TimePoint now = Clock::now();
    for (Channel* channel : channels_) {
      channel->Service(fds, now);
      if (!running_) break;
    }
  }
}

short EventsOf(std::span<const pollfd> fds, int fd) {
  if (fd < 0) return 0;
  for (const pollfd& entry : fds) {
    if (entry.fd == fd) return entry.revents;
  }
  return 0;
}

short EventsAt(std::span<const pollfd> fds, size_t slot, int fd) {
  if (fd < 0 || slot >= fds.size() || fds[slot].fd != fd) return 0;
  return fds[slot].revents;
}

}  // namespace tallygate::sim
