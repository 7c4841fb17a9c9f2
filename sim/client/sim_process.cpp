#include "sim/client/sim_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "common/process/child_start.h"

namespace tallygate::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

bool SimProcess::Available() { return !ProgramPath().empty(); }

std::string SimProcess::ProgramPath() {
#ifdef TALLYGATE_SIM_PATH
  return TALLYGATE_SIM_PATH;
#else
  return {};
#endif
}

SimProcess::SimProcess(std::vector<std::string> args, std::chrono::milliseconds startup) {
  const std::string program = ProgramPath();
  if (program.empty()) throw std::runtime_error("tallygate-sim was not built");

  // Standard input is a socket so that writing to a program that has died
  // fails with EPIPE instead of killing the test with SIGPIPE.
  int to_child[2];
  int from_child[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, to_child) != 0) ThrowErrno("socketpair");
  if (::pipe2(from_child, O_CLOEXEC) != 0) ThrowErrno("pipe2");

  ChildStart start;
  start.Dup(to_child[0], STDIN_FILENO).Dup(from_child[1], STDOUT_FILENO);
  args.insert(args.begin(), program);
  const int spawned = start.Spawn(std::move(args), pid_);
  ::close(to_child[0]);
  ::close(from_child[1]);
  if (spawned != 0) {
    ::close(to_child[1]);
    ::close(from_child[0]);
    pid_ = -1;
    throw std::system_error(spawned, std::generic_category(), "posix_spawn " + program);
  }
  stdin_fd_ = to_child[1];
  reader_ = std::thread([this, fd = from_child[0]] { ReadOutput(fd); });

  bool ready = false;
  {
    std::unique_lock lock(mutex_);
    auto has_ready = [this] { return std::find(lines_.begin(), lines_.end(), "ready") != lines_.end(); };
    changed_.wait_for(lock, startup, [&] { return output_ended_ || has_ready(); });
    ready = has_ready();
    for (const std::string& line : lines_) {
      if (line == "ready") break;
      std::istringstream words(line);
      std::string kind;
      words >> kind;
      if (kind == "tcp") {
        std::string host;
        int port = -1;
        words >> host >> port;
        tcp_ports_.push_back(port);
      } else if (kind == "pty") {
        words >> pty_path_;
      }
    }
  }
  if (!ready) {
    // The destructor does not run for a constructor that throws.
    Stop();
    CloseStdin();
    reader_.join();
    std::string printed;
    for (const std::string& line : Lines()) printed += "\n  " + line;
    throw std::runtime_error("tallygate-sim did not get ready; it printed:" + printed);
  }
}

SimProcess::~SimProcess() {
  Stop();
  if (reader_.joinable()) reader_.join();
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
}

void SimProcess::ReadOutput(int fd) {
  std::string partial;
  std::array<char, 4096> buffer;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial.append(buffer.data(), static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    for (size_t end; (end = partial.find('\n')) != std::string::npos;) {
      lines_.push_back(partial.substr(0, end));
      partial.erase(0, end + 1);
    }
    changed_.notify_all();
  }
  ::close(fd);
  std::lock_guard lock(mutex_);
  if (!partial.empty()) lines_.push_back(partial);
  output_ended_ = true;
  changed_.notify_all();
}

void SimProcess::WriteStdin(const std::string& text) {
  if (stdin_fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "standard input of tallygate-sim");
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::send(stdin_fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowErrno("write to tallygate-sim");
    done += static_cast<size_t>(n);
  }
}

void SimProcess::CloseStdin() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  stdin_fd_ = -1;
}

std::string SimProcess::Control(const std::string& line, std::chrono::milliseconds timeout) {
  static const std::regex kAnswer("^(ok|error)( |$)");
  WriteStdin(line + "\n");
  std::unique_lock lock(mutex_);
  std::optional<size_t> found;
  changed_.wait_for(lock, timeout, [&] {
    found = FindLine(kAnswer, control_cursor_);
    return found.has_value() || output_ended_;
  });
  if (!found) found = FindLine(kAnswer, control_cursor_);
  if (!found) return {};
  control_cursor_ = *found + 1;
  return lines_[*found];
}

std::vector<std::string> SimProcess::ControlBlock(const std::string& line,
                                                  std::chrono::milliseconds timeout) {
  static const std::regex kDetailCount(" detail-lines=([0-9]+)$");
  const auto deadline = Clock::now() + timeout;
  const std::string answer = Control(line, timeout);
  std::smatch count;
  if (!std::regex_search(answer, count, kDetailCount)) return {};
  const size_t details = std::stoul(count[1].str());
  std::unique_lock lock(mutex_);
  // Control left its cursor just past the answer line.
  const size_t first = control_cursor_;
  changed_.wait_until(lock, deadline, [&] { return lines_.size() >= first + details || output_ended_; });
  if (lines_.size() < first + details) return {};
  std::vector<std::string> block{answer};
  block.insert(block.end(), lines_.begin() + static_cast<std::ptrdiff_t>(first),
               lines_.begin() + static_cast<std::ptrdiff_t>(first + details));
  return block;
}

std::optional<std::vector<std::string>> SimProcess::Units(const std::string& command,
                                                          const std::string& target,
                                                          std::chrono::milliseconds timeout) {
  std::vector<std::string> block = ControlBlock(target.empty() ? command : command + " " + target, timeout);
  if (block.empty() || !block.front().starts_with("ok " + command + " ")) return std::nullopt;
  block.erase(block.begin());
  for (std::string& unit : block) unit.erase(0, unit.find_first_not_of(' '));
  return block;
}

std::optional<std::vector<std::string>> SimProcess::RecordUnits(const std::string& target,
                                                                std::chrono::milliseconds timeout) {
  return Units("dump-records", target, timeout);
}

std::optional<std::vector<std::string>> SimProcess::HistoryUnits(const std::string& target,
                                                                 std::chrono::milliseconds timeout) {
  return Units("dump-history", target, timeout);
}

std::optional<std::string> SimProcess::WaitForLine(const std::regex& pattern,
                                                   std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  std::optional<size_t> found;
  changed_.wait_for(lock, timeout, [&] {
    found = FindLine(pattern, wait_cursor_);
    return found.has_value() || output_ended_;
  });
  if (!found) found = FindLine(pattern, wait_cursor_);
  if (!found) return std::nullopt;
  wait_cursor_ = *found + 1;
  return lines_[*found];
}

std::optional<size_t> SimProcess::FindLine(const std::regex& pattern, size_t from) const {
  for (size_t i = from; i < lines_.size(); ++i) {
    if (std::regex_search(lines_[i], pattern)) return i;
  }
  return std::nullopt;
}

std::vector<std::string> SimProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::optional<int> SimProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pid_ < 0) return std::nullopt;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      status_ = status;
      return status_;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(10ms);
  }
}

int SimProcess::Stop() {
  if (status_) return *status_;
  if (pid_ < 0) return -1;
  ::kill(pid_, SIGTERM);
  if (!WaitForExit(10s)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
  }
  return *status_;
}

HostEnd HostEnd::Tcp(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowErrno("socket");
  HostEnd end(fd);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<uint16_t>(port));
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
    ThrowErrno("connect to port " + std::to_string(port));
  }
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return end;
}

HostEnd HostEnd::Pty(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) ThrowErrno("open " + path);
  HostEnd end(fd);
  termios tty{};
  if (::tcgetattr(fd, &tty) != 0) ThrowErrno("tcgetattr " + path);
  ::cfmakeraw(&tty);
  ::cfsetispeed(&tty, B19200);
  ::cfsetospeed(&tty, B19200);
  tty.c_cc[VMIN] = 0;
  tty.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tty) != 0) ThrowErrno("tcsetattr " + path);
  ::tcflush(fd, TCIFLUSH);
  return end;
}

HostEnd::HostEnd(HostEnd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

HostEnd& HostEnd::operator=(HostEnd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

HostEnd::~HostEnd() {
  if (fd_ >= 0) ::close(fd_);
}

void HostEnd::Send(std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) {
      const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ThrowErrno("write");
      done += static_cast<size_t>(w);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ThrowErrno("send");
    done += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> HostEnd::Read(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> got;
  const auto deadline = Clock::now() + timeout;
  while (got.size() < count) {
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    std::array<uint8_t, 4096> buffer;
    const size_t want = std::min(buffer.size(), count - got.size());
    const ssize_t n = ::read(fd_, buffer.data(), want);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    got.insert(got.end(), buffer.begin(), buffer.begin() + n);
  }
  return got;
}

std::vector<uint8_t> HostEnd::ReadUntilQuiet(std::chrono::milliseconds quiet) {
  std::vector<uint8_t> got;
  for (;;) {
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(quiet.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return got;
    std::array<uint8_t, 4096> buffer;
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return got;
    got.insert(got.end(), buffer.begin(), buffer.begin() + n);
  }
}

bool HostEnd::ClosedByPeer(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    std::array<uint8_t, 256> buffer;
    const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
  }
}

}  // namespace tallygate::testing
