// The far end of a TCP connection for tests: a listener on 127.0.0.1 with a
// port the system picks, and the connections it accepts. Every wait is
// bounded; failures of the system calls throw std::system_error.
#ifndef TALLYGATE_TESTS_SUPPORT_LOOPBACK_SERVER_H_
#define TALLYGATE_TESTS_SUPPORT_LOOPBACK_SERVER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tallygate::testing {

// One accepted connection. Sends and reads never raise SIGPIPE.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(int fd) : fd_(fd) {}
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Sends every byte unless the connection fails or `limit` passes without
  // progress; true when all went out.
  bool Send(std::span<const uint8_t> bytes,
            std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Reads `count` bytes, or fewer when the connection ends or `limit` passes.
  std::vector<uint8_t> Read(size_t count,
                            std::chrono::milliseconds limit = std::chrono::seconds(5));
  // True once the other end has acknowledged every byte sent, that is once
  // they wait in its kernel; false after `limit`.
  bool AwaitDelivered(std::chrono::milliseconds limit = std::chrono::seconds(5));
  // An orderly close (FIN).
  void Close();
  // An abortive close: the other end sees a reset.
  void Reset();

 private:
  int fd_;
};

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const { return port_; }
  // The next connection, or null when none came within `limit`.
  std::unique_ptr<LoopbackPeer> Accept(std::chrono::milliseconds limit = std::chrono::seconds(5));

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A port on 127.0.0.1 that refuses connections while the object lives: it is
// bound, so no one else can take it, but not listening.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_LOOPBACK_SERVER_H_
