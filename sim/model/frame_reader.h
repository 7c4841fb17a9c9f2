// Turns the byte stream from a host into address-and-frame pairs.
//
// On a real bus the ninth bit of each character marks the address byte. On a
// pseudo-terminal or a TCP connection that bit is gone, so the reader works
// by length: one address byte, then FrameLength, then the rest of the frame,
// whose wire length comes from ShapeOf (wire_shape.h).
//
// Resynchronisation. Any candidate that cannot be a frame (a FrameLength
// below 3, a check byte that does not match) costs only its first byte: the
// reader slides on by one byte and tries again, so a frame that follows
// garbage is still found. A partial frame followed by `silence` without a
// byte is given up the same way, byte by byte, until nothing is left; the
// host always falls silent after a frame while it waits for the answer.
//
// A lone byte, the address, is given more time: the host sends the address
// and the frame apart (on a serial line the parity changes between them,
// over TCP they are two sends), and a host on a busy machine can take longer
// than `silence` between the two. Bytes that follow a stray lone byte are
// read as usual, so it holds up nothing.
//
// Frames for every address come out; choosing the terminal is the bus's job.
// The reader is driven by the caller's clock, so it can be tested without
// waiting.
#ifndef TALLYGATE_SIM_MODEL_FRAME_READER_H_
#define TALLYGATE_SIM_MODEL_FRAME_READER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "link/protocol/frame.h"
#include "sim/model/clock.h"
#include "sim/model/received_frame.h"

namespace tallygate::sim {

inline constexpr std::chrono::milliseconds kDefaultSilence{100};
// How long a lone address byte waits for its frame, when that is longer.
inline constexpr std::chrono::milliseconds kAddressSilence{1000};

// What the reader found in the stream.
struct ReaderEvent {
  enum class Kind {
    kFrame,       // a frame with a correct check byte
    kBadCheck,    // a well-placed frame whose check byte is wrong: ignored
    kDiscarded,   // `discarded` bytes that belonged to no frame
  };
  Kind kind = Kind::kFrame;
  ReceivedFrame frame;   // kFrame and kBadCheck
  size_t discarded = 0;  // kDiscarded
};

class FrameReader {
 public:
  explicit FrameReader(std::chrono::milliseconds silence = kDefaultSilence);

  // Appends bytes that arrived at `now` and parses what it can.
  void Feed(std::span<const uint8_t> bytes, TimePoint now);

  // Gives up a partial frame when `silence` has passed since its last byte.
  void Expire(TimePoint now);

  // The next event, oldest first.
  std::optional<ReaderEvent> Next();

  // When Expire would give up the pending partial frame; none when no bytes
  // are pending.
  std::optional<TimePoint> deadline() const;

  // Forgets pending bytes and events (a new host connected).
  void Reset();

 private:
  enum class Step { kNeedMore, kConsumed };
  Step ParseOne(bool flushing);
  void DropFirstByte();
  void FlushDiscarded();

  // The silence that gives up what is pending now.
  std::chrono::milliseconds PendingSilence() const;

  std::chrono::milliseconds silence_;
  Bytes pending_;
  TimePoint last_byte_{};
  // True when pending_[0] is the first byte after a frame, after silence or
  // at the start: a bad check byte there is reported, elsewhere it is noise.
  bool at_boundary_ = true;
  size_t discarded_ = 0;
  std::deque<ReaderEvent> events_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_FRAME_READER_H_
