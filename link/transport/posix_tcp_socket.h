// A TCP client connection to a terminal on POSIX sockets.
//
// The socket is non-blocking throughout; nothing here blocks except
// AwaitActivity, and SendData while the kernel's send buffer is full (up to
// kSendTimeout without progress). Received bytes are pulled from the kernel
// into a buffer of at most kReceiveCapacity bytes; anything beyond stays in
// the kernel, so a peer that floods the connection cannot make us allocate
// what it sends.
//
// States (socket_state):
//   kClosed      no socket.
//   kConnecting  Connect has started; each State call checks, without
//                waiting, whether the attempt has finished.
//   kConnected   connected, or the connection has ended but bytes the
//                terminal sent before it ended still wait to be read.
//   kPeerClosing the terminal closed its side and every byte has been read.
//   kError       the connection attempt failed, the connection was reset,
//                or a send failed.
// Only Close leaves kPeerClosing and kError; Connect needs kClosed.
//
// Errors thrown (BasicError):
//   err::kInvalidProcedureCall  Connect with a host that is neither a numeric
//                               IPv4 address (as inet_aton reads one:
//                               "127.0.0.1", "127.1", "0x7f.1"; not "",
//                               "abc", "1.2.3.4.5", nor anything with spaces)
//                               nor an IPv6 literal ("::1"; host names are
//                               resolved before, by the terminal line),
//                               or a port outside 1..65535.
//   err::kSocketWrongState      Connect when not closed; SendData when not
//                               connected.
//   err::kSocketError           the system refused a socket, a send failed,
//                               or the send buffer stayed full for
//                               kSendTimeout (the frame is then cut short, so
//                               the connection moves to kError as well).
// A connection attempt that fails (refused, unreachable) does not throw: State
// becomes kError, at once or later.
//
// Not thread-safe: one thread drives a socket.
#ifndef TALLYGATE_LINK_TRANSPORT_POSIX_TCP_SOCKET_H_
#define TALLYGATE_LINK_TRANSPORT_POSIX_TCP_SOCKET_H_

#include <chrono>
#include <cstddef>
#include <vector>

#include "link/transport/tcp_socket.h"

namespace tallygate {

class PosixTcpSocket final : public TcpSocket {
 public:
  // Most received bytes held here at once.
  static constexpr size_t kReceiveCapacity = 64 * 1024;
  // Longest SendData waits for room in a full send buffer before failing.
  static constexpr std::chrono::milliseconds kSendTimeout{2000};

  PosixTcpSocket() = default;
  ~PosixTcpSocket() override;
  PosixTcpSocket(const PosixTcpSocket&) = delete;
  PosixTcpSocket& operator=(const PosixTcpSocket&) = delete;

  int16_t State() override;
  void Connect(const std::string& host, int32_t port) override;
  // Drops the socket and every unread byte; harmless when already closed.
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() override;
  // Works in any state on the bytes already held; empty when none wait or
  // `max_length` is not positive.
  Bytes GetData(int32_t max_length) override;
  // Also true when closed or failed; false while connecting.
  bool ReceiveEnded() override;
  // Drops the held bytes and as many as the kernel holds at the moment of
  // the call, read once.
  void DiscardReceived() override;
  // Closed, failed, ended or with a full buffer, nothing can change without a
  // call of ours: sleeps for `limit` so that callers never spin.
  void AwaitActivity(std::chrono::milliseconds limit) override;
  int FailureErrno() const override { return failure_errno_; }

 private:
  // The phase the socket is in; State() derives kPeerClosing and a reset's
  // kError from it and the receive flags below.
  enum class Phase { kClosed, kConnecting, kConnected, kFailed };

  // Finishes a pending connection attempt if it has completed.
  void CheckConnect();
  // Moves bytes from the kernel into the buffer, up to its capacity, and
  // notes the end of the stream or a receive error.
  void Pull();
  size_t Held() const { return tail_ - head_; }

  int fd_ = -1;
  Phase phase_ = Phase::kClosed;
  bool receive_ended_ = false;   // no more bytes will arrive
  bool receive_failed_ = false;  // ... because of an error, not a close
  int failure_errno_ = 0;        // why the connection failed, when it did
  // Received bytes not yet read are buffer_[head_, tail_); the buffer is
  // allocated on Connect and released on Close.
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;
  size_t tail_ = 0;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_POSIX_TCP_SOCKET_H_
