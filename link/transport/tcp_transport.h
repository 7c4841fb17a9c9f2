// A TCP connection to one terminal as a transport: the same bytes as on the
// bus, with no framing of its own.
//
// The socket is borrowed: the transport sends and receives on it but neither
// connects nor closes it (ConnectTcp does the connecting for a line of its
// own).
#ifndef TALLYGATE_LINK_TRANSPORT_TCP_TRANSPORT_H_
#define TALLYGATE_LINK_TRANSPORT_TCP_TRANSPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "link/transport/tcp_socket.h"
#include "link/transport/transport.h"

namespace tallygate {

inline constexpr uint16_t kDefaultTcpPort = 1001;

class TcpTransport final : public Transport {
 public:
  TcpTransport(TcpSocket& socket, std::string name);

  // Bytes left over from an earlier, timed-out reply are discarded before
  // sending, so a late reply never passes for this command's.
  Status Send(uint8_t address, std::span<const uint8_t> frame, bool discard_unsent) override;
  Status AwaitBytes(size_t count, double wait_seconds, const WaitControl& control) override;
  size_t Available() override;
  void DiscardInput() override;
  void DropPartialReply() override {}
  Status Drain() override { return {}; }
  bool serial() const override { return false; }
  std::string Name() const override { return name_; }

  // Why the connection cannot carry a command now: closed, closed by the
  // terminal, reset. Only when the socket is not connected.
  Error NotConnected();

  // Lets the socket's own errors (BasicError) through to the caller instead
  // of turning them into results (see SerialBusTransport::ThrowLineErrors).
  void ThrowLineErrors() { throw_line_errors_ = true; }

 protected:
  Bytes ReadWaiting(size_t count) override;

 private:
  TcpSocket& socket_;
  std::string name_;
  bool throw_line_errors_ = false;
};

// Resolves `host` (a name, an IPv4 address or an IPv6 literal) and connects
// `socket`, which must be closed, trying each address in turn within
// `wait_seconds` in all. On failure the socket is left closed and the error
// says why: host not found, refused, timed out, unreachable.
Status ConnectTcp(TcpSocket& socket, const std::string& host, uint16_t port, double wait_seconds,
                  const WaitControl& control);

// The numeric forms of `host`'s addresses, in the resolver's order.
Result<std::vector<std::string>> ResolveAddresses(const std::string& host);

// "host:port", or "[v6]:port" for an IPv6 literal.
std::string TcpName(const std::string& host, uint16_t port);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_TCP_TRANSPORT_H_
