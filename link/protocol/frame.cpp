#include "link/protocol/frame.h"

#include "tallygate/basic_error.h"

namespace tallygate {

uint8_t XorOf(std::span<const uint8_t> bytes) {
  uint8_t c = 0;
  for (uint8_t b : bytes) c ^= b;
  return c;
}

uint8_t CommandCheckByte(uint8_t address, std::span<const uint8_t> frame, int frame_length) {
  if (frame_length < 1 || static_cast<size_t>(frame_length) > frame.size()) {
    throw BasicError(err::kSubscriptOutOfRange);
  }
  return static_cast<uint8_t>(address ^ XorOf(frame.first(static_cast<size_t>(frame_length - 1))));
}

void SealFrame(uint8_t address, std::span<uint8_t> frame, int frame_length) {
  frame[static_cast<size_t>(frame_length - 1)] = CommandCheckByte(address, frame, frame_length);
}

Bytes MakeFrame(uint8_t command, std::initializer_list<uint8_t> parameters) {
  Bytes frame;
  frame.reserve(parameters.size() + 3);
  frame.push_back(static_cast<uint8_t>(parameters.size() + 3));
  frame.push_back(command);
  frame.insert(frame.end(), parameters.begin(), parameters.end());
  frame.push_back(0);
  return frame;
}

Bytes MakeEmptyFrame(uint8_t command, int frame_length) {
  Bytes frame(static_cast<size_t>(frame_length), 0);
  frame[0] = static_cast<uint8_t>(frame_length);
  frame[1] = command;
  return frame;
}

uint8_t ToByte(int32_t value) {
  if (value < 0 || value > 255) throw BasicError(err::kOverflow);
  return static_cast<uint8_t>(value);
}

}  // namespace tallygate
