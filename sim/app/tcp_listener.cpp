#include "sim/app/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tallygate::sim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string PeerText(const sockaddr_in& peer) {
  char text[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

}  // namespace

TcpListener::TcpListener(const std::string& address, uint16_t port, Bus& bus, FaultPlan& faults,
                         HostLineOptions options, Output& output, std::string log_prefix)
    : output_(output),
      log_prefix_(std::move(log_prefix)),
      address_(address),
      line_(bus, faults, options,
            [&output, this](const std::string& line) { output.Log(log_prefix_ + line); }),
      pump_(line_, true) {
  Listen(port);
}

void TcpListener::Listen(uint16_t port) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (::inet_pton(AF_INET, address_.c_str(), &where.sin_addr) != 1) {
    throw std::system_error(EINVAL, std::generic_category(), "listen address " + address_);
  }
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener.valid()) ThrowErrno("socket");
  const int yes = 1;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
    ThrowErrno("bind " + address_ + ":" + std::to_string(port));
  }
  if (::listen(listener.get(), 4) != 0) ThrowErrno("listen");
  socklen_t size = sizeof where;
  ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&where), &size);
  listener_ = std::move(listener);
  port_ = ntohs(where.sin_port);
}

void TcpListener::Stop() {
  if (client_.valid()) DropClient("closed: terminal stopped");
  listener_.reset();
}

void TcpListener::Start() {
  if (!listener_.valid()) Listen(port_);
}

void TcpListener::Watch(std::vector<pollfd>& fds) {
  if (!listener_.valid()) return;
  listener_slot_ = fds.size();
  fds.push_back({listener_.get(), POLLIN, 0});
  if (client_.valid()) {
    client_slot_ = fds.size();
    fds.push_back({client_.get(), static_cast<short>(POLLIN | (pump_.wants_write() ? POLLOUT : 0)), 0});
  }
}

void TcpListener::Service(std::span<const pollfd> fds, TimePoint now) {
  if (!listener_.valid()) return;
  if (client_.valid() && (EventsAt(fds, client_slot_, client_.get()) & (POLLIN | POLLHUP | POLLERR)) != 0) {
    if (pump_.ReadFrom(client_.get(), now) == StreamPump::Status::kPeerGone) {
      DropClient("closed by the client");
    }
  }
  if ((EventsAt(fds, listener_slot_, listener_.get()) & POLLIN) != 0) Accept();
  if (!client_.valid()) return;
  switch (pump_.Pump(client_.get(), now)) {
    case StreamPump::Status::kOpen: break;
    case StreamPump::Status::kPeerGone: DropClient("lost"); break;
    case StreamPump::Status::kCloseRequested: DropClient("closed by a fault"); break;
  }
}

std::optional<TimePoint> TcpListener::next_deadline() const {
  return client_.valid() ? line_.next_deadline() : std::nullopt;
}

void TcpListener::Accept() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    UniqueFd fd(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &size,
                          SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) return;  // EAGAIN, or a client that gave up while queued
    if (client_.valid()) DropClient("replaced by a new client");
    const int yes = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    client_ = std::move(fd);
    output_.Log(log_prefix_ + "tcp client connected from " + PeerText(peer));
  }
}

void TcpListener::DropClient(const char* why) {
  client_.reset();
  pump_.Reset();
  output_.Log(log_prefix_ + "tcp client " + why);
}

}  // namespace tallygate::sim
