// The TCP connection to a terminal as the link logic uses it.
//
// The operations are named after the socket control members they stand for
// (State, Connect, Close, SendData, BytesReceived, GetData). A failure is
// thrown as a BasicError.
#ifndef TALLYGATE_LINK_TRANSPORT_TCP_SOCKET_H_
#define TALLYGATE_LINK_TRANSPORT_TCP_SOCKET_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tallygate {

using Bytes = std::vector<uint8_t>;

// Socket states; the link logic tests only Closed and Connected.
namespace socket_state {
inline constexpr int16_t kClosed = 0;
inline constexpr int16_t kConnecting = 6;
inline constexpr int16_t kConnected = 7;
inline constexpr int16_t kPeerClosing = 8;  // the terminal closed its side
inline constexpr int16_t kError = 9;
}  // namespace socket_state

class TcpSocket {
 public:
  virtual ~TcpSocket() = default;

  // State: read at the moment of the call. A connection the terminal has
  // closed leaves Connected once every byte it sent has been read.
  virtual int16_t State() = 0;

  // Connect: starts a connection attempt and returns at once; State becomes
  // Connected when it completes, or Error when it fails.
  virtual void Connect(const std::string& host, int32_t port) = 0;

  // Close: closes the connection; State becomes Closed.
  virtual void Close() = 0;

  // SendData: sends all bytes, in order.
  virtual void SendData(std::span<const uint8_t> bytes) = 0;

  // BytesReceived: the number of received bytes not yet read.
  virtual int32_t BytesReceived() = 0;

  // GetData: takes up to `max_length` waiting bytes, in order; the rest stay.
  virtual Bytes GetData(int32_t max_length) = 0;

  // True once the terminal has closed its side or the connection failed: no
  // more bytes will arrive, though some may still wait to be read.
  virtual bool ReceiveEnded() = 0;

  // Discards the bytes waiting at this moment, and no more: a peer that keeps
  // sending cannot hold the caller here.
  virtual void DiscardReceived() = 0;

  // Blocks until more bytes may have arrived or the state may have changed,
  // or `limit` has passed.
  virtual void AwaitActivity(std::chrono::milliseconds limit) = 0;

  // The system's error number of the failure that ended the connection or
  // the attempt (ECONNREFUSED, ECONNRESET, ETIMEDOUT...), 0 when none is
  // known.
  virtual int FailureErrno() const { return 0; }
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_TCP_SOCKET_H_
