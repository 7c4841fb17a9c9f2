#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <thread>

namespace tallygate::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::system_category(), what);
}

int Milliseconds(Clock::duration left) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, INT_MAX));
}

// A socket bound to 127.0.0.1 on a port the system picks.
int BoundSocket(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), length) < 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) < 0) {
    const int error = errno;
    close(fd);
    errno = error;
    Fail("bind");
  }
  port = ntohs(local.sin_port);
  return fd;
}

}  // namespace

LoopbackPeer::~LoopbackPeer() { Close(); }

bool LoopbackPeer::Send(std::span<const uint8_t> bytes, std::chrono::milliseconds limit) {
  size_t sent = 0;
  auto deadline = Clock::now() + limit;
  while (sent < bytes.size() && fd_ >= 0) {
    const ssize_t n =
        send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      deadline = Clock::now() + limit;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (Clock::now() >= deadline) return false;
      pollfd entry{fd_, POLLOUT, 0};
      poll(&entry, 1, Milliseconds(deadline - Clock::now()));
    } else {
      return false;
    }
  }
  return sent == bytes.size();
}

std::vector<uint8_t> LoopbackPeer::Read(size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> bytes(count);
  size_t got = 0;
  const auto deadline = Clock::now() + limit;
  while (got < count && fd_ >= 0 && Clock::now() < deadline) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, Milliseconds(deadline - Clock::now())) <= 0) continue;
    const ssize_t n = recv(fd_, bytes.data() + got, count - got, MSG_DONTWAIT);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      break;
    }
  }
  bytes.resize(got);
  return bytes;
}

bool LoopbackPeer::AwaitDelivered(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (true) {
    int unacknowledged = 0;
    if (ioctl(fd_, SIOCOUTQ, &unacknowledged) < 0) Fail("ioctl SIOCOUTQ");
    if (unacknowledged == 0) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void LoopbackPeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void LoopbackPeer::Reset() {
  if (fd_ < 0) return;
  const linger abort_on_close{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  Close();
}

LoopbackServer::LoopbackServer() {
  fd_ = BoundSocket(port_);
  if (listen(fd_, 8) < 0) {
    const int error = errno;
    close(fd_);
    errno = error;
    Fail("listen");
  }
}

LoopbackServer::~LoopbackServer() { close(fd_); }

std::unique_ptr<LoopbackPeer> LoopbackServer::Accept(std::chrono::milliseconds limit) {
  pollfd entry{fd_, POLLIN, 0};
  if (poll(&entry, 1, Milliseconds(limit)) <= 0) return nullptr;
  const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) Fail("accept");
  return std::make_unique<LoopbackPeer>(fd);
}

RefusingPort::RefusingPort() { fd_ = BoundSocket(port_); }

RefusingPort::~RefusingPort() { close(fd_); }

}  // namespace tallygate::testing
