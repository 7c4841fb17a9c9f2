// Broken and hostile terminals on the TCP transport: a listener on
// 127.0.0.1 (a port the system picks) and a thread that serves one
// connection at a time in one of these ways:
//
//   kFlood        sends `flood_bytes` of 0xEE as fast as the connection
//                 takes them, whatever it is asked
//   kHalfReply    answers the record and card counts whole; every other
//                 reply it starts and never finishes (a record page: ten
//                 units, then half of one); then stalls
//   kCloseMidway  a well-behaved terminal with `records` records, until
//   kResetMidway  `break_after_units` record units have gone out on a
//                 connection: then half a unit and an orderly close (FIN),
//                 or a reset (RST)
//   kSilent       accepts and reads, never answers
//
// Every peer stops by itself `lifetime` after it was made, or when its
// object goes; nothing it does blocks for longer than a poll of 50 ms.
#ifndef TALLYGATE_SOAK_HOSTILE_PEER_H_
#define TALLYGATE_SOAK_HOSTILE_PEER_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tallygate::soak {

enum class PeerKind { kFlood, kHalfReply, kCloseMidway, kResetMidway, kSilent };
const char* PeerName(PeerKind kind);

struct PeerOptions {
  PeerKind kind = PeerKind::kSilent;
  int64_t flood_bytes = 100LL * 1024 * 1024;
  int records = 300;
  int break_after_units = 300;
  std::chrono::seconds lifetime{180};
};

class HostilePeer {
 public:
  // Throws std::system_error when the listener cannot be made.
  explicit HostilePeer(PeerOptions options);
  ~HostilePeer();
  HostilePeer(const HostilePeer&) = delete;
  HostilePeer& operator=(const HostilePeer&) = delete;

  uint16_t port() const { return port_; }
  int64_t bytes_sent() const { return sent_.load(); }
  int connections() const { return connections_.load(); }
  // kFlood: every byte has gone out.
  bool flood_done() const { return flood_done_.load(); }

  // The record lines (terminal 1, default options) of the records this peer
  // holds, in order: what a collection from it should write.
  std::vector<std::string> RecordLines() const;

 private:
  void Serve();
  void ServeConnection(int fd);

  PeerOptions options_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::chrono::steady_clock::time_point end_;
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> sent_{0};
  std::atomic<int> connections_{0};
  std::atomic<bool> flood_done_{false};
  std::thread thread_;
};

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_HOSTILE_PEER_H_
