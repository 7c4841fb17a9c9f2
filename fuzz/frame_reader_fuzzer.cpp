// The simulated terminal's frame reader: whatever a host sends, in pieces
// and with pauses between them.
//
// Input: a sequence of pieces, each a length byte, a pause byte (in
// milliseconds) and that many bytes. After the last piece the reader is
// given all the time it needs. Every byte must then be accounted for
// exactly once, in a frame or as discarded, and every frame must be whole
// and carry a correct check byte.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "fuzz/fuzz_support.h"
#include "sim/model/frame_reader.h"
#include "sim/model/wire_shape.h"

namespace {

using tallygate::fuzz::Require;
using tallygate::sim::FrameReader;
using tallygate::sim::ReaderEvent;

size_t TakeEvents(FrameReader& reader) {
  size_t accounted = 0;
  while (std::optional<ReaderEvent> event = reader.Next()) {
    switch (event->kind) {
      case ReaderEvent::Kind::kFrame: {
        const auto& wire = event->frame.wire;
        Require(wire.size() >= 2 && wire[0] >= tallygate::sim::kMinFrameLength,
                "a frame has a length and a command");
        const tallygate::sim::WireShape shape = tallygate::sim::ShapeOf(wire[0], wire[1]);
        Require(wire.size() == static_cast<size_t>(shape.wire_length), "a frame is whole");
        Require(tallygate::sim::CheckByteValid(event->frame.address, wire),
                "a frame's check byte is right");
        accounted += 1 + wire.size();
        break;
      }
      case ReaderEvent::Kind::kBadCheck:
        break;  // its bytes are discarded one by one, and counted there
      case ReaderEvent::Kind::kDiscarded:
        Require(event->discarded > 0, "a discard event discards something");
        accounted += event->discarded;
        break;
    }
  }
  return accounted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameReader reader(std::chrono::milliseconds(100));
  tallygate::sim::TimePoint now{};
  size_t fed = 0, accounted = 0;
  for (size_t at = 0; at + 2 <= size;) {
    const size_t length = std::min<size_t>(data[at], size - at - 2);
    now += std::chrono::milliseconds(data[at + 1]);
    reader.Feed(std::span<const uint8_t>(data + at + 2, length), now);
    reader.Expire(now);
    fed += length;
    at += 2 + length;
    accounted += TakeEvents(reader);
    if (const std::optional<tallygate::sim::TimePoint> due = reader.deadline()) {
      Require(*due > now, "a partial frame waits out its silence");
    }
  }
  now += std::chrono::seconds(1);
  reader.Expire(now);
  accounted += TakeEvents(reader);
  Require(!reader.deadline().has_value(), "nothing is left pending after the silence");
  Require(accounted == fed, "every byte is a frame's or discarded, once");
  return 0;
}
