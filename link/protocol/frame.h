// Command and reply frames.
//
// On the wire every command is the terminal's address byte, sent by itself,
// then a command frame:
//
//   byte 0            FrameLength: bytes in the frame, this one and the check
//                     byte included, the address byte not
//   byte 1            Command code
//   bytes 2 .. n-2    parameters of the command
//   byte n-1          CheckByte: XOR of the address byte and bytes 0 .. n-2
//
// A reply is a fixed number of bytes per command: byte 0 the terminal's
// address, byte 2 as a rule the echo of the command code, the last byte the
// XOR of all bytes before it. Both checks are plain XOR, no initial value.
#ifndef TALLYGATE_LINK_PROTOCOL_FRAME_H_
#define TALLYGATE_LINK_PROTOCOL_FRAME_H_

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace tallygate {

using Bytes = std::vector<uint8_t>;

// XOR of all the bytes.
uint8_t XorOf(std::span<const uint8_t> bytes);

// The check byte of a command frame: XOR of the address and frame bytes
// 0 .. frame_length-2.
uint8_t CommandCheckByte(uint8_t address, std::span<const uint8_t> frame, int frame_length);

// Writes the check byte into frame[frame_length-1].
void SealFrame(uint8_t address, std::span<uint8_t> frame, int frame_length);

// A frame [length, command, parameters..., 0] whose last byte is left for the
// check byte.
Bytes MakeFrame(uint8_t command, std::initializer_list<uint8_t> parameters = {});

// A frame of `frame_length` zero bytes with its length and command written.
Bytes MakeEmptyFrame(uint8_t command, int frame_length);

// Converts a terminal address (or any value sent as one byte) to a byte;
// outside 0 to 255 it throws "Overflow".
uint8_t ToByte(int32_t value);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_FRAME_H_
