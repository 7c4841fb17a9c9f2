// How a command frame lies on the wire after its address byte.
//
// As a rule a frame is exactly FrameLength bytes and its last byte is the XOR
// of the address byte and all frame bytes before it. Three commands differ,
// and this table is the one place that knows it:
//
//   0x20 show message   FrameLength says 35, but 36 bytes are sent; the
//                       check byte (byte 35) covers frame bytes 0 .. 34 and
//                       NOT the address byte.
//   0x40 picture start  FrameLength 4, followed by zero bytes up to 21.
//   0x55 picture data   FrameLength 19, followed by zero bytes up to 21.
//
// A frame whose command is one of these but whose FrameLength byte differs
// from the table is taken by the general rule.
#ifndef TALLYGATE_SIM_MODEL_WIRE_SHAPE_H_
#define TALLYGATE_SIM_MODEL_WIRE_SHAPE_H_

#include <cstdint>
#include <span>

#include "link/protocol/frame.h"

namespace tallygate::sim {

// FrameLength values below this cannot hold a length, a command and a check.
inline constexpr int kMinFrameLength = 3;

struct WireShape {
  int wire_length;            // bytes after the address byte, padding included
  int check_index;            // position of the check byte within those bytes
  bool check_covers_address;  // whether the address byte is part of the XOR
};

// The shape of a frame whose first two bytes are `frame_length` and
// `command`. `frame_length` must be at least kMinFrameLength.
WireShape ShapeOf(uint8_t frame_length, uint8_t command);

// Whether `wire` (the bytes after the address byte, ShapeOf(...).wire_length
// of them) carries a correct check byte.
bool CheckByteValid(uint8_t address, std::span<const uint8_t> wire);

// The bytes a host puts on the wire after `address` for `frame`, whose bytes
// 0 and 1 hold FrameLength and the command: padded to the wire length and
// sealed with the check byte the shape asks for. For tests and tools.
Bytes SealedWire(uint8_t address, Bytes frame);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_WIRE_SHAPE_H_
