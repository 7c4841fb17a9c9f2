#include "sim/model/wire_shape.h"

#include <array>

#include "link/protocol/command_table.h"

namespace tallygate::sim {
namespace {

struct OddShape {
  uint8_t command;
  uint8_t frame_length;
  WireShape shape;
};

// A frame as the library sends it: its length byte, then zeros up to
// `wire_length`, the check byte last within the frame.
constexpr OddShape Padded(const CommandSpec& spec, int wire_length) {
  return {spec.code, static_cast<uint8_t>(spec.frame_length),
          {wire_length, spec.frame_length - 1, true}};
}

constexpr std::array<OddShape, 3> kOddShapes{{
    // The check byte follows the 35 bytes the length byte counts.
    {command::kShowMessage.code, static_cast<uint8_t>(command::kShowMessage.frame_length),
     {command::kShowMessage.frame_length + 1, command::kShowMessage.frame_length, false}},
    Padded(command::kPictureStart, command::kPictureWireLength),
    Padded(command::kPictureData, command::kPictureWireLength),
}};

}  // namespace

WireShape ShapeOf(uint8_t frame_length, uint8_t command) {
  for (const OddShape& odd : kOddShapes) {
    if (odd.command == command && odd.frame_length == frame_length) return odd.shape;
  }
  return {frame_length, frame_length - 1, true};
}

bool CheckByteValid(uint8_t address, std::span<const uint8_t> wire) {
  if (wire.size() < static_cast<size_t>(kMinFrameLength) || wire[0] < kMinFrameLength) {
    return false;
  }
  const WireShape shape = ShapeOf(wire[0], wire[1]);
  if (wire.size() < static_cast<size_t>(shape.wire_length)) return false;
  const auto check_at = static_cast<size_t>(shape.check_index);
  const uint8_t expected = shape.check_covers_address
                               ? CommandCheckByte(address, wire, shape.check_index + 1)
                               : XorOf(wire.first(check_at));
  return wire[check_at] == expected;
}

Bytes SealedWire(uint8_t address, Bytes frame) {
  const WireShape shape = ShapeOf(frame.at(0), frame.at(1));
  frame.resize(static_cast<size_t>(shape.wire_length), 0);
  const auto check_at = static_cast<size_t>(shape.check_index);
  frame[check_at] = shape.check_covers_address
                        ? CommandCheckByte(address, frame, shape.check_index + 1)
                        : XorOf(std::span<const uint8_t>(frame).first(check_at));
  return frame;
}

}  // namespace tallygate::sim
