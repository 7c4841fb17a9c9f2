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
inline constexpr CommandSpec kModifyDateTime{0x08, 10, 2.0f, 4, true};
inline constexpr CommandSpec kRepairSystemParameter{0x09, 9, 5.0f, 4, true};
inline constexpr CommandSpec kCardSendToMachine{0x0A, 19, 3.0f, 4, true};
inline constexpr CommandSpec kReadCardNum{0x0B, 3, 2.0f, 8, true};
inline constexpr CommandSpec kClearNameList{0x0C, 3, 10.0f, 4, true};
inline constexpr CommandSpec kClearName{0x0D, 7, 5.0f, 4, true};
// The three ring schedules differ only in their code.
inline constexpr CommandSpec kRingSchedule1{0x0E, 23, 9.0f, 4, true};
inline constexpr CommandSpec kRingSchedule2{0x1E, 23, 9.0f, 4, true};
inline constexpr CommandSpec kRingSchedule3{0x2E, 23, 9.0f, 4, true};
inline constexpr CommandSpec kReadSystemParameter{0x19, 3, 2.0f, 17, true};
inline constexpr CommandSpec kSendRecordToMachine{0x1A, 15, 3.0f, 4, true};
inline constexpr CommandSpec kFindCard{0x1D, 7, 3.0f, 7, true};
inline constexpr CommandSpec kSetStorageModel{0x44, 4, 0.0f, 0, true};
inline constexpr CommandSpec kGetStorageModel{0x66, 3, 1.5f, 5, true};
// Page 0 of the record and card-list commands is the count.
inline constexpr CommandSpec kRecordPages{0xBB, 4, 3.0f, 6, true};
inline constexpr CommandSpec kCardPages{0xCC, 4, 3.0f, 6, true};
// Commands that drive the transport themselves; the reply length is what
// they wait for, and each applies its own reply test. The message's length
// byte says 35, but 36 bytes are sent. The picture's frames go out in a
// 21-byte buffer, and their answer counts from its first byte.
inline constexpr CommandSpec kShowMessage{0x20, 35, 3.0f, 4, true};
inline constexpr CommandSpec kPlaySound{0x25, 4, 10.0f, 4, false};
inline constexpr CommandSpec kPictureStart{0x40, 4, 1.0f, 1, false};
inline constexpr CommandSpec kPictureData{0x55, 19, 1.0f, 1, true};
inline constexpr CommandSpec kSetPassword{0xAA, 7, 3.0f, 4, false};
inline constexpr CommandSpec kGetPassword{0xBA, 3, 3.0f, 4, false};
// The length of that buffer: a picture frame padded with zeros.
inline constexpr int kPictureWireLength = 21;
}  // namespace command

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_COMMAND_TABLE_H_
