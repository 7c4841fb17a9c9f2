// The TCP connection: Connect_Net, Disconnect_Net and the stored address.
#include <arpa/inet.h>

#include <string>

#include "link/connect/connect_v70_state.h"
#include "link/transport/wait.h"

namespace tallygate {
namespace {

constexpr double kConnectWaitSeconds = 2.0;

bool DigitsAndPointsOnly(const std::string& text) {
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

// An IPv6 literal without brackets ("::1", "fe80::1"): accepted beside the
// numeric IPv4 forms, so that callers can reach terminals on IPv6 networks.
bool Ipv6Literal(const std::string& text) {
  in6_addr address{};
  return text.find(':') != std::string::npos &&
         inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// Waits up to 2 seconds for the socket to reach `wanted`. A connection
// attempt that has already failed ends the wait early.
bool WaitForState(TcpSocket& socket, int16_t wanted) {
  return WaitUntil(
      kConnectWaitSeconds, [&] { return socket.State() == wanted; },
      [&](std::chrono::milliseconds limit) { socket.AwaitActivity(limit); },
      [&] { return wanted == socket_state::kConnected && socket.State() == socket_state::kError; });
}

}  // namespace

bool Connect_v70::Connect_Net(const std::string& sIP, int32_t lPort) {
  if (!DigitsAndPointsOnly(sIP) && !Ipv6Literal(sIP)) return false;
  return RunCall(*state_, false, [&](bool& result) {
    state_->ip = sIP;
    state_->tcp_port = lPort;
    TcpSocket& socket = state_->link.Socket();
    if (socket.State() != socket_state::kClosed) socket.Close();
    socket.Connect(sIP, lPort);
    WaitForState(socket, socket_state::kConnected);
    result = socket.State() == socket_state::kConnected;
  });
}

bool Connect_v70::Disconnect_Net() {
  return RunCall(*state_, false, [&](bool& result) {
    TcpSocket& socket = state_->link.Socket();
    if (socket.State() != socket_state::kClosed) {
      socket.Close();
      WaitForState(socket, socket_state::kClosed);
    }
    result = socket.State() == socket_state::kClosed;
  });
}

int16_t Connect_v70::tcpState() {
  try {
    return state_->link.Socket().State();
  } catch (const BasicError&) {
    return socket_state::kError;
  }
}

std::string Connect_v70::IP() const { return state_->ip; }
void Connect_v70::IP(const std::string& value) { state_->ip = value; }
int32_t Connect_v70::tcpPort() const { return state_->tcp_port; }
void Connect_v70::tcpPort(int32_t value) { state_->tcp_port = value; }

}  // namespace tallygate
