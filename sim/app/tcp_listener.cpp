#include "sim/app/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

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
                         HostLineOptions options, Output& output)
    : output_(output),
      line_(bus, faults, options, [&output](const std::string& line) { output.Log(line); }),
      pump_(line_, true) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
    throw std::system_error(EINVAL, std::generic_category(), "listen address " + address);
  }
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener_.valid()) ThrowErrno("socket");
  const int yes = 1;
  ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
    ThrowErrno("bind " + address + ":" + std::to_string(port));
  }
  if (::listen(listener_.get(), 4) != 0) ThrowErrno("listen");
  socklen_t size = sizeof where;
  ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&where), &size);
  address_ = address;
  port_ = ntohs(where.sin_port);
}

void TcpListener::Watch(std::vector<pollfd>& fds) {
  fds.push_back({listener_.get(), POLLIN, 0});
  if (client_.valid()) {
    fds.push_back({client_.get(), static_cast<short>(POLLIN | (pump_.wants_write() ? POLLOUT : 0)), 0});
  }
}

void TcpListener::Service(std::span<const pollfd> fds, TimePoint now) {
  if (client_.valid() && (EventsOf(fds, client_.get()) & (POLLIN | POLLHUP | POLLERR)) != 0) {
    if (pump_.ReadFrom(client_.get(), now) == StreamPump::Status::kPeerGone) {
      DropClient("closed by the client");
    }
  }
  if ((EventsOf(fds, listener_.get()) & POLLIN) != 0) Accept();
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
    output_.Log("tcp client connected from " + PeerText(peer));
  }
}

void TcpListener::DropClient(const char* why) {
  client_.reset();
  pump_.Reset();
  output_.Log(std::string("tcp client ") + why);
}

}  // namespace tallygate::sim
