// A TCP client connection to a terminal on POSIX sockets.
#ifndef TALLYGATE_LINK_CORE_POSIX_TCP_SOCKET_H_
#define TALLYGATE_LINK_CORE_POSIX_TCP_SOCKET_H_

#include "link/core/tcp_socket.h"

namespace tallygate {

class PosixTcpSocket final : public TcpSocket {
 public:
  PosixTcpSocket() = default;
  ~PosixTcpSocket() override;
  PosixTcpSocket(const PosixTcpSocket&) = delete;
  PosixTcpSocket& operator=(const PosixTcpSocket&) = delete;

  int16_t State() override;
  void Connect(const std::string& host, int32_t port) override;
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() override;
  Bytes GetData(int32_t max_length) override;
  bool ReceiveEnded() override;
  void DiscardReceived() override;
  void AwaitActivity(std::chrono::milliseconds limit) override;

 private:
  int fd_ = -1;
  int16_t state_ = socket_state::kClosed;
  bool receive_ended_ = false;
  Bytes received_;  // bytes taken from the socket, not yet read by GetData
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CORE_POSIX_TCP_SOCKET_H_
