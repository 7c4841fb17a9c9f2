#include "sim/app/event_loop.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

namespace tallygate::sim {
namespace {

// The time until `deadline` to the nanosecond, for ppoll(): a character
// on the paced wire is due every 573 microseconds, and a wait rounded up
// to whole milliseconds released bytes up to a millisecond late, which a
// terminal does not do. Null waits for ever.
const timespec* TimeoutOf(std::optional<TimePoint> deadline, TimePoint now, timespec& out) {
  if (!deadline) return nullptr;
  const auto wait = std::clamp<std::chrono::nanoseconds>(*deadline - now, std::chrono::nanoseconds{0},
                                                         std::chrono::seconds{60});
  out.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
  out.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
  return &out;
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
    timespec wait{};
    if (::ppoll(fds.data(), fds.size(), TimeoutOf(deadline, Clock::now(), wait), nullptr) < 0) {
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
