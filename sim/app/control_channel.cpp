#include "sim/app/control_channel.h"

#include <unistd.h>

#include <array>
#include <cerrno>

namespace tallygate::sim {

void ControlChannel::Watch(std::vector<pollfd>& fds) {
  if (open_) fds.push_back({STDIN_FILENO, POLLIN, 0});
}

void ControlChannel::Service(std::span<const pollfd> fds, TimePoint) {
  if (!open_ || (EventsOf(fds, STDIN_FILENO) & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) return;
  // One read per round: poll said it will not block. Standard input stays
  // blocking, as it may be shared with a shell.
  std::array<char, 4096> buffer;
  const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    Ended();
    return;
  }
  partial_.append(buffer.data(), static_cast<size_t>(n));
  for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
    std::string line = partial_.substr(0, end);
    partial_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const Control::Result result = control_.Execute(line);
    if (!result.answer.empty()) {
      std::string block = result.answer;
      for (const std::string& detail : result.detail) block += "\n" + detail;
      output_.Line(block);
    }
    if (result.quit) {
      loop_.Stop();
      return;
    }
  }
}

void ControlChannel::Ended() {
  open_ = false;
  if (exit_on_eof_) {
    output_.Log("end of standard input, exiting");
    loop_.Stop();
  }
}

}  // namespace tallygate::sim
