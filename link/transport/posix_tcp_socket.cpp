#include "link/transport/posix_tcp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

using Clock = std::chrono::steady_clock;

BasicError SocketFailure(std::string_view what, int error) {
  return BasicError(err::kSocketError,
                    std::string(what) + ": " + std::system_category().message(error));
}

// A numeric IPv4 address (as inet_aton reads one) or an IPv6 literal.
// inet_aton ignores whatever follows a space, so "1.2.3.4 junk" would pass;
// only letters, digits and points may reach it.
bool ParseHost(const std::string& host, sockaddr_storage& remote, socklen_t& length,
               uint16_t port) {
  const bool plain = std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.';
  });
  remote = {};
  in_addr v4{};
  if (plain && inet_aton(host.c_str(), &v4) != 0) {
    auto* in = reinterpret_cast<sockaddr_in*>(&remote);
    in->sin_family = AF_INET;
    in->sin_port = htons(port);
    in->sin_addr = v4;
    length = sizeof(sockaddr_in);
    return true;
  }
  in6_addr v6{};
  if (host.find(':') != std::string::npos && inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    auto* in = reinterpret_cast<sockaddr_in6*>(&remote);
    in->sin6_family = AF_INET6;
    in->sin6_port = htons(port);
    in->sin6_addr = v6;
    length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

int PollMilliseconds(std::chrono::milliseconds limit) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 0, INT_MAX));
}

}  // namespace

PosixTcpSocket::~PosixTcpSocket() { Close(); }

int16_t PosixTcpSocket::State() {
  if (phase_ == Phase::kConnecting) CheckConnect();
  switch (phase_) {
    case Phase::kClosed: return socket_state::kClosed;
    case Phase::kConnecting: return socket_state::kConnecting;
    case Phase::kFailed: return socket_state::kError;
    case Phase::kConnected: break;
  }
  // Bytes held mean connected whatever the peer did since: no receive call
  // is needed to say so, which spares one per unit in a collection.
  if (Held() > 0) return socket_state::kConnected;
  Pull();
  // A reply that came before the end of the stream must still be readable.
  if (Held() > 0 || !receive_ended_) return socket_state::kConnected;
  return receive_failed_ ? socket_state::kError : socket_state::kPeerClosing;
}

void PosixTcpSocket::Connect(const std::string& host, int32_t port) {
  if (phase_ != Phase::kClosed) throw BasicError(err::kSocketWrongState);
  if (port < 1 || port > 65535) {
    throw BasicError(err::kInvalidProcedureCall, "Invalid port: " + std::to_string(port));
  }
  sockaddr_storage remote{};
  socklen_t remote_length = 0;
  if (!ParseHost(host, remote, remote_length, static_cast<uint16_t>(port))) {
    throw BasicError(err::kInvalidProcedureCall, "Invalid address: \"" + host + "\"");
  }
  buffer_.assign(kReceiveCapacity, 0);
  head_ = tail_ = 0;
  receive_ended_ = receive_failed_ = false;
  failure_errno_ = 0;
  const int fd = socket(remote.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) throw SocketFailure("Cannot create a socket", errno);
  // The address byte and the frame are two small writes; Nagle would hold
  // the frame back until the terminal acknowledged the address byte.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  fd_ = fd;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), remote_length) == 0) {
    phase_ = Phase::kConnected;
  } else if (errno == EINPROGRESS || errno == EINTR) {
    // An interrupted connect goes on in the background, like one in progress.
    phase_ = Phase::kConnecting;
  } else {
    failure_errno_ = errno;
    phase_ = Phase::kFailed;
  }
}

void PosixTcpSocket::Close() {
  if (fd_ >= 0) close(fd_);  // not retried on EINTR: Linux frees the descriptor anyway
  fd_ = -1;
  phase_ = Phase::kClosed;
  Bytes().swap(buffer_);
  head_ = tail_ = 0;
  receive_ended_ = receive_failed_ = false;
  failure_errno_ = 0;
}

void PosixTcpSocket::SendData(std::span<const uint8_t> bytes) {
  if (State() != socket_state::kConnected) throw BasicError(err::kSocketWrongState);
  auto deadline = Clock::now() + kSendTimeout;
  size_t sent = 0;
  while (sent < bytes.size()) {
    // MSG_NOSIGNAL: a connection the terminal has dropped is an error here,
    // not a SIGPIPE that ends the caller's process.
    const ssize_t n =
        send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<size_t>(n);
      deadline = Clock::now() + kSendTimeout;
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (!WouldBlock(error)) {
      failure_errno_ = error;
      phase_ = Phase::kFailed;
      throw SocketFailure("Connection is aborted", error);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      // Part of the bytes may be out: the terminal would read the rest of the
      // stream out of step, so the connection is of no further use.
      failure_errno_ = ETIMEDOUT;
      phase_ = Phase::kFailed;
      throw BasicError(err::kSocketError, "Connection is aborted: the terminal takes no data");
    }
    pollfd entry{fd_, POLLOUT, 0};
    poll(&entry, 1, PollMilliseconds(left));
  }
}

int32_t PosixTcpSocket::BytesReceived() {
  if (phase_ == Phase::kConnecting) CheckConnect();
  Pull();
  return static_cast<int32_t>(Held());
}

Bytes PosixTcpSocket::GetData(int32_t max_length) {
  if (phase_ == Phase::kConnecting) CheckConnect();
  if (max_length <= 0 || Held() < static_cast<size_t>(max_length)) Pull();
  if (max_length <= 0) return {};
  const size_t count = std::min(Held(), static_cast<size_t>(max_length));
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(head_);
  Bytes taken(first, first + static_cast<std::ptrdiff_t>(count));
  head_ += count;
  return taken;
}

bool PosixTcpSocket::ReceiveEnded() {
  if (phase_ == Phase::kConnecting) CheckConnect();
  Pull();
  switch (phase_) {
    case Phase::kConnecting: return false;
    case Phase::kConnected: return receive_ended_;
    case Phase::kClosed:
    case Phase::kFailed: break;
  }
  return true;
}

void PosixTcpSocket::DiscardReceived() {
  head_ = tail_ = 0;
  if (phase_ != Phase::kConnected || receive_ended_) return;
  int waiting = 0;
  if (ioctl(fd_, FIONREAD, &waiting) < 0 || waiting <= 0) return;
  // Only what is there now: a peer that keeps sending cannot keep us here.
  // The emptied buffer serves as scratch space.
  size_t left = static_cast<size_t>(waiting);
  while (left > 0) {
    const ssize_t n = recv(fd_, buffer_.data(), std::min(left, buffer_.size()), MSG_DONTWAIT);
    if (n > 0) {
      left -= std::min(left, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      receive_ended_ = true;
      break;
    }
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) {
      failure_errno_ = errno;
      receive_ended_ = receive_failed_ = true;
    }
    break;
  }
}

void PosixTcpSocket::AwaitActivity(std::chrono::milliseconds limit) {
  short events = 0;
  if (phase_ == Phase::kConnecting) {
    events = POLLOUT;
  } else if (phase_ == Phase::kConnected && !receive_ended_) {
    // Bytes already in the kernel would wake poll at once, again and again
    // while the caller waits for more: take them first, and report them.
    const size_t held = Held();
    Pull();
    if (Held() != held || receive_ended_) return;
    // A full buffer leaves the kernel's bytes where they are; poll would
    // report them at once, so the caller sleeps instead.
    if (tail_ < buffer_.size()) events = POLLIN;
  }
  if (events == 0) {
    std::this_thread::sleep_for(std::max(limit, std::chrono::milliseconds(0)));
    return;
  }
  pollfd entry{fd_, events, 0};
  poll(&entry, 1, PollMilliseconds(limit));
}

void PosixTcpSocket::CheckConnect() {
  pollfd entry{fd_, POLLOUT, 0};
  if (poll(&entry, 1, 0) <= 0) return;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
  failure_errno_ = error;
  phase_ = (error == 0 && (entry.revents & POLLOUT) != 0) ? Phase::kConnected : Phase::kFailed;
}

void PosixTcpSocket::Pull() {
  if (phase_ != Phase::kConnected || receive_ended_) return;
  if (head_ == tail_) {
    head_ = tail_ = 0;
  } else if (head_ > 0 && (tail_ == buffer_.size() || head_ >= buffer_.size() / 2)) {
    std::memmove(buffer_.data(), buffer_.data() + head_, Held());
    tail_ -= head_;
    head_ = 0;
  }
  while (tail_ < buffer_.size()) {
    const ssize_t n = recv(fd_, buffer_.data() + tail_, buffer_.size() - tail_, MSG_DONTWAIT);
    if (n > 0) {
      tail_ += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) {
      receive_ended_ = true;
      return;
    }
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) {
      failure_errno_ = errno;
      receive_ended_ = receive_failed_ = true;
    }
    return;
  }
}

}  // namespace tallygate
