#include "sim/app/stream_pump.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace tallygate::sim {

StreamPump::Status StreamPump::ReadFrom(int fd, TimePoint now) {
  std::array<uint8_t, 4096> buffer;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n > 0) {
      line_.Receive(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)), now);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Status::kOpen;
    return Status::kPeerGone;
  }
}

StreamPump::Status StreamPump::Pump(int fd, TimePoint now) {
  line_.Advance(now);
  if (!close_pending_) {
    WirePacer::Released due = line_.TakeOutput(now);
    unsent_.insert(unsent_.end(), due.bytes.begin(), due.bytes.end());
    close_pending_ = due.close;
  }
  while (!unsent_.empty()) {
    const ssize_t n = socket_ ? ::send(fd, unsent_.data(), unsent_.size(), MSG_NOSIGNAL)
                              : ::write(fd, unsent_.data(), unsent_.size());
    if (n > 0) {
      unsent_.erase(unsent_.begin(), unsent_.begin() + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Status::kOpen;
    return Status::kPeerGone;
  }
  return close_pending_ ? Status::kCloseRequested : Status::kOpen;
}

void StreamPump::Reset() {
  unsent_.clear();
  close_pending_ = false;
  line_.Reset();
}

}  // namespace tallygate::sim
