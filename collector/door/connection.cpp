#include "collector/door/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tallygate::collector::door {
namespace {

using Clock = std::chrono::steady_clock;

// The text of an address, IPv4 written as such when it came mapped into
// IPv6, so that one client is one address whichever way it came.
Endpoint EndpointOf(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    return {text, ntohs(v4.sin_port)};
  }
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
      inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text);
    } else {
      inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    return {text, ntohs(v6.sin6_port)};
  }
  return {"unknown", 0};
}

constexpr size_t kReadChunk = 16 * 1024;

}  // namespace

Endpoint PeerOf(int socket) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {"unknown", 0};
  return EndpointOf(address);
}

Endpoint LocalOf(int socket) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {"unknown", 0};
  return EndpointOf(address);
}

Connection::Connection(int socket, Endpoint peer) : socket_(socket), peer_(std::move(peer)) {}

Connection::~Connection() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  ::close(socket_);
}

void Connection::BeginTls(const SslContext& context) {
  context_ = context;
  ssl_ = SSL_new(context.get());
  if (ssl_ != nullptr) SSL_set_fd(ssl_, socket_);
}

Connection::Step Connection::Handshake() {
  if (ssl_ == nullptr) return Step::kFailed;
  const int result = SSL_accept(ssl_);
  if (result == 1) return Step::kDone;
  switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ: return Step::kWaitRead;
    case SSL_ERROR_WANT_WRITE: return Step::kWaitWrite;
    default: ERR_clear_error(); return Step::kFailed;
  }
}

void Connection::Drop(size_t bytes) {
  taken_ = std::min(pending_.size(), taken_ + bytes);
  if (taken_ == pending_.size()) {
    pending_.clear();
    taken_ = 0;
  }
}

bool Connection::TlsHoldsMore() const { return ssl_ != nullptr && SSL_pending(ssl_) > 0; }

ssize_t Connection::ReadOnce(char* into, size_t size, Step& step) {
  if (ssl_ == nullptr) {
    while (true) {
      const ssize_t got = ::recv(socket_, into, size, MSG_DONTWAIT);
      if (got >= 0) return got;
      if (errno == EINTR) continue;
      step = errno == EAGAIN || errno == EWOULDBLOCK ? Step::kWaitRead : Step::kFailed;
      return -1;
    }
  }
  const int got = SSL_read(ssl_, into, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
  if (got > 0) return got;
  switch (SSL_get_error(ssl_, got)) {
    case SSL_ERROR_WANT_READ: step = Step::kWaitRead; return -1;
    case SSL_ERROR_WANT_WRITE: step = Step::kWaitWrite; return -1;
    case SSL_ERROR_ZERO_RETURN: return 0;
    default:
      // A client gone without the close notice ends the connection too.
      ERR_clear_error();
      step = Step::kEnded;
      return -1;
  }
}

ssize_t Connection::WriteOnce(const char* bytes, size_t size, Step& step) {
  if (ssl_ == nullptr) {
    while (true) {
      const ssize_t sent = ::send(socket_, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent >= 0) return sent;
      if (errno == EINTR) continue;
      step = errno == EAGAIN || errno == EWOULDBLOCK ? Step::kWaitWrite : Step::kFailed;
      return -1;
    }
  }
  const int sent = SSL_write(ssl_, bytes, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
  if (sent > 0) return sent;
  switch (SSL_get_error(ssl_, sent)) {
    case SSL_ERROR_WANT_READ: step = Step::kWaitRead; return -1;
    case SSL_ERROR_WANT_WRITE: step = Step::kWaitWrite; return -1;
    default: ERR_clear_error(); step = Step::kFailed; return -1;
  }
}

Connection::Step Connection::Fill(size_t most) {
  if (taken_ > 0) {
    pending_.erase(0, taken_);
    taken_ = 0;
  }
  while (pending_.size() < most) {
    const size_t room = std::min(kReadChunk, most - pending_.size());
    const size_t had = pending_.size();
    pending_.resize(had + room);
    Step step = Step::kDone;
    const ssize_t got = ReadOnce(pending_.data() + had, room, step);
    pending_.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0) return Step::kEnded;
    if (got < 0) return step;
  }
  return Step::kDone;
}

Connection::Step Connection::Send(std::string_view& bytes) {
  while (!bytes.empty()) {
    Step step = Step::kDone;
    const ssize_t sent = WriteOnce(bytes.data(), bytes.size(), step);
    if (sent < 0) return step;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return Step::kDone;
}

void Connection::EndWriting() {
  if (ssl_ != nullptr) {
    SSL_shutdown(ssl_);
    ERR_clear_error();
  }
  ::shutdown(socket_, SHUT_WR);
}

namespace {

// The events of `events` that came on `socket` within `wait`; 0 when none.
short PollSocket(int socket, short events, std::chrono::milliseconds wait) {
  pollfd entry{socket, events, 0};
  const Clock::time_point until = Clock::now() + wait;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    const int ready = ::poll(&entry, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (ready > 0) return entry.revents;
    if (ready == 0 || errno != EINTR) return 0;
  }
}

}  // namespace

bool Connection::Await(Step step, std::chrono::milliseconds wait) const {
  // An error or hang-up shows at the next try.
  return PollSocket(socket_, step == Step::kWaitWrite ? POLLOUT : POLLIN, wait) != 0;
}

ssize_t Connection::Read(char* into, size_t size, std::chrono::milliseconds wait) {
  if (size == 0) return 0;
  const std::string_view unread = Unread();
  if (!unread.empty()) {
    const size_t taken = std::min(size, unread.size());
    std::memcpy(into, unread.data(), taken);
    Drop(taken);
    return static_cast<ssize_t>(taken);
  }
  while (true) {
    Step step = Step::kDone;
    const ssize_t got = ReadOnce(into, size, step);
    if (got >= 0) return got;
    if ((step != Step::kWaitRead && step != Step::kWaitWrite) || !Await(step, wait)) return -1;
  }
}

bool Connection::Write(const char* bytes, size_t size, std::chrono::milliseconds wait) {
  std::string_view left(bytes, size);
  while (true) {
    const Step step = Send(left);
    if (step == Step::kDone) return true;
    if ((step != Step::kWaitRead && step != Step::kWaitWrite) || !Await(step, wait)) return false;
  }
}

bool Connection::Writable(std::chrono::milliseconds wait) const {
  const short events = PollSocket(socket_, POLLOUT | POLLRDHUP, wait);
  return (events & POLLOUT) != 0 && (events & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  const ssize_t got = connection_.Read(ptr, size, stall_);
  if (got > 0) read_ += static_cast<uint64_t>(got);
  return got;
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  return connection_.Write(ptr, size, stall_) ? static_cast<ssize_t>(size) : -1;
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  ip = connection_.peer().address;
  port = connection_.peer().port;
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  const Endpoint local = LocalOf(connection_.socket());
  ip = local.address;
  port = local.port;
}

}  // namespace tallygate::collector::door
