// The request-and-reply commands: code, frame length, reply wait, reply
// length and whether the reply's byte 0 must be the terminal's address. One
// row per command; the command families build their frames from these.
#ifndef TALLYGATE_LINK_PROTOCOL_COMMAND_TABLE_H_
#define TALLYGATE_LINK_PROTOCOL_COMMAND_TABLE_H_

#include <cstdint>

namespace tallygate {

struct CommandSpec {
  uint8_t code;
  int frame_length;
  float timeout_seconds;
  int reply_length;
  bool check_address;
};

namespace command {
inline constexpr CommandSpec kClearFlag{0x02, 3, 1.5f, 4, true};
inline constexpr CommandSpec kClearRecord{0x06, 3, 10.0f, 4, true};
inline constexpr CommandSpec kRepairAddress{0x07, 5, 3.0f, 5, false};
inline constexpr CommandSpec kClearNameList{0x0C, 3, 10.0f, 4, true};
inline constexpr CommandSpec kSetStorageModel{0x44, 4, 0.0f, 0, true};
inline constexpr CommandSpec kGetStorageModel{0x66, 3, 1.5f, 5, true};
// Page 0 of the record and card-list commands is the count.
inline constexpr CommandSpec kRecordPages{0xBB, 4, 3.0f, 6, true};
inline constexpr CommandSpec kCardPages{0xCC, 4, 3.0f, 6, true};
}  // namespace command

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_COMMAND_TABLE_H_
