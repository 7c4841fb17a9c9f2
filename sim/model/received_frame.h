// One command frame as a terminal receives it: the address byte that went
// before it and the frame's bytes as they were on the wire (padding
// included, see wire_shape.h).
#ifndef TALLYGATE_SIM_MODEL_RECEIVED_FRAME_H_
#define TALLYGATE_SIM_MODEL_RECEIVED_FRAME_H_

#include <cstddef>
#include <cstdint>

#include "link/protocol/frame.h"

namespace tallygate::sim {

struct ReceivedFrame {
  uint8_t address = 0;
  Bytes wire;  // wire[0] is FrameLength, wire[1] the command

  uint8_t frame_length() const { return wire.size() > 0 ? wire[0] : 0; }
  uint8_t command() const { return wire.size() > 1 ? wire[1] : 0; }
  // Parameter byte i (frame byte 2 + i), or 0 past the end.
  uint8_t param(size_t i) const { return 2 + i < wire.size() ? wire[2 + i] : 0; }
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_RECEIVED_FRAME_H_
