// Lets bytes through no faster than a serial line carries them.
//
// The bus runs at 19200 bit/s with 11-bit characters (start bit, 8 data
// bits, the address/data bit, stop bit): one character every 11/19200 s,
// about 1745 a second. A byte is released when its last bit would have left
// the wire, one character time after the line was free for it. With a
// character time of 0 bytes pass as soon as they may.
//
// One pacer stands for one direction of a line: host to terminal (a frame
// counts as received only when its last character is through) or terminal
// to host (reply bytes trickle out). It never sleeps; the caller polls with
// next_release() as its timeout.
#ifndef TALLYGATE_SIM_MODEL_WIRE_PACER_H_
#define TALLYGATE_SIM_MODEL_WIRE_PACER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "link/protocol/frame.h"
#include "sim/model/clock.h"

namespace tallygate::sim {

// 11 bits at 19200 bit/s, rounded to the nanosecond.
inline constexpr std::chrono::nanoseconds kSerialCharTime{572'917};

class WirePacer {
 public:
  explicit WirePacer(std::chrono::nanoseconds char_time = {}) : char_time_(char_time) {}

  // Queues bytes behind everything queued before. The first of them starts
  // `pause` after the later of `now` and the end of what is queued.
  // `withdrawable` bytes can be taken back by Withdraw until released.
  void Push(std::span<const uint8_t> bytes, TimePoint now,
            std::chrono::nanoseconds pause = std::chrono::nanoseconds{0}, bool withdrawable = false);

  // Drops the withdrawable bytes not yet released; returns how many.
  size_t Withdraw();

  // Queues a close marker behind everything queued before.
  void PushClose(TimePoint now);

  struct Released {
    Bytes bytes;
    bool close = false;  // the close marker was reached after `bytes`
  };

  // The bytes due by `now`, up to a close marker.
  Released Release(TimePoint now);

  // When the next byte or marker is due; none when the queue is empty.
  std::optional<TimePoint> next_release() const;

  bool empty() const { return items_.empty(); }
  void Clear();

 private:
  struct Item {
    TimePoint due;
    uint8_t byte;
    bool close;
    bool withdrawable;
  };
  std::chrono::nanoseconds char_time_;
  std::deque<Item> items_;
  TimePoint line_free_{};  // when the last queued item is through
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_WIRE_PACER_H_
