#include "link/transport/tcp_transport.h"

#include <netdb.h>
#include <sys/socket.h>
#include <arpa/inet.h>

#include <cerrno>
#include <system_error>
#include <chrono>
#include <utility>
#include <vector>

#include "link/transport/line_error.h"

namespace tallygate {

Result<std::vector<std::string>> ResolveAddresses(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (status != 0) {
    const ErrorCode code = status == EAI_NONAME || status == EAI_FAIL || status == EAI_NODATA
                               ? ErrorCode::kHostNotFound
                               : ErrorCode::kIoError;
    return Error(code, "host \"" + host + "\" not resolved: " + gai_strerror(status));
  }
  std::vector<std::string> addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (entry->ai_family == AF_INET) {
      raw = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
    } else if (entry->ai_family == AF_INET6) {
      raw = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
    }
    if (raw != nullptr && inet_ntop(entry->ai_family, raw, text, sizeof text) != nullptr) {
      addresses.emplace_back(text);
    }
  }
  freeaddrinfo(found);
  if (addresses.empty()) return Error(ErrorCode::kHostNotFound, "host \"" + host + "\" has no address");
  return addresses;
}

std::string TcpName(const std::string& host, uint16_t port) {
  if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
  return host + ":" + std::to_string(port);
}

TcpTransport::TcpTransport(TcpSocket& socket, std::string name)
    : socket_(socket), name_(std::move(name)) {}

Error TcpTransport::NotConnected() {
  switch (socket_.State()) {
    case socket_state::kPeerClosing:
      return Error(ErrorCode::kClosed, "connection closed by " + name_);
    case socket_state::kError: return ConnectionError(socket_.FailureErrno(), name_);
    default: return Error(ErrorCode::kClosed, "not connected to " + name_);
  }
}

Status TcpTransport::Send(uint8_t address, std::span<const uint8_t> frame, bool) {
  try {
    if (socket_.State() != socket_state::kConnected) return NotConnected();
    socket_.DiscardReceived();
    const uint8_t address_bytes[1] = {address};
    socket_.SendData(address_bytes);
    TraceSent(address_bytes);
    Pause(1);
    socket_.SendData(frame);
    TraceSent(frame);
    return {};
  } catch (const BasicError& error) {
    if (throw_line_errors_) throw;
    if (socket_.State() == socket_state::kError) return NotConnected();
    return LineError(error);
  }
}

Status TcpTransport::AwaitBytes(size_t count, double wait_seconds, const WaitControl& control) {
  try {
    const WaitOutcome outcome = Wait(
        wait_seconds, control,
        [&] { return static_cast<size_t>(std::max(socket_.BytesReceived(), 0)) >= count; },
        [&](std::chrono::milliseconds limit) { socket_.AwaitActivity(limit); },
        // A connection that has closed or failed brings no more bytes.
        [&] { return socket_.ReceiveEnded() || socket_.State() != socket_state::kConnected; });
    switch (outcome) {
      case WaitOutcome::kReady: return {};
      case WaitOutcome::kStopped: return Error(ErrorCode::kStopped, "stopped while waiting");
      case WaitOutcome::kGone:
        if (socket_.State() != socket_state::kConnected) return NotConnected();
        return Error(ErrorCode::kClosed, "connection closed by " + name_);
      case WaitOutcome::kTimedOut: break;
    }
    return Error(ErrorCode::kNoReply, std::to_string(Available()) + " of " +
                                          std::to_string(count) + " bytes");
  } catch (const BasicError& error) {
    if (throw_line_errors_) throw;
    return LineError(error);
  }
}

size_t TcpTransport::Available() {
  try {
    return static_cast<size_t>(std::max(socket_.BytesReceived(), 0));
  } catch (const BasicError&) {
    return 0;
  }
}

Bytes TcpTransport::ReadWaiting(size_t count) {
  return socket_.GetData(static_cast<int32_t>(count));
}

void TcpTransport::DiscardInput() {
  try {
    socket_.DiscardReceived();
  } catch (const BasicError&) {
    // A failed connection says so at the next send or wait.
  }
}

Status ConnectTcp(TcpSocket& socket, const std::string& host, uint16_t port, double wait_seconds,
                  const WaitControl& control) {
  const std::string name = TcpName(host, port);
  if (port == 0) return Error(ErrorCode::kInvalidArgument, "port 0 in " + name);
  Result<std::vector<std::string>> addresses = ResolveAddresses(host);
  if (!addresses) return addresses.error();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(wait_seconds);
  Error last(ErrorCode::kTimedOut, "connect to " + name + ": timed out");
  for (const std::string& address : *addresses) {
    const double left =
        std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    try {
      socket.Connect(address, port);
    } catch (const BasicError& error) {
      last = LineError(error);
      continue;
    }
    const WaitOutcome outcome = Wait(
        left, control, [&] { return socket.State() == socket_state::kConnected; },
        [&](std::chrono::milliseconds limit) { socket.AwaitActivity(limit); },
        [&] { return socket.State() == socket_state::kError; });
    if (outcome == WaitOutcome::kReady) return {};
    const int failure = socket.FailureErrno();
    socket.Close();
    if (outcome == WaitOutcome::kStopped) return Error(ErrorCode::kStopped, "connect to " + name + ": stopped");
    if (outcome == WaitOutcome::kTimedOut) {
      last = Error(ErrorCode::kTimedOut, "connect to " + name + ": timed out");
      continue;
    }
    last = Error(ConnectionError(failure, name).code(),
                 "connect to " + name + ": " + std::system_category().message(failure));
  }
  return last;
}

}  // namespace tallygate
