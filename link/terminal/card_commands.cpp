// Card management: enrolling, removing and finding cards, reading the card at
// the terminal's reader, and writing single attendance records.
#include <algorithm>

#include "link/terminal/commands.h"
#include "tallygate/terminal.h"

namespace tallygate::commands {
namespace {

constexpr size_t kCardOffset = 2;
constexpr size_t kStaffOffset = 6;
constexpr size_t kNameOffset = 10;
constexpr size_t kNameBytes = kCardNameBytes;

// A frame carrying one card number.
Bytes CardFrame(const CommandSpec& spec, const CardBytes& card) {
  Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
  PutField(frame, kCardOffset, card);
  return frame;
}

}  // namespace

Status EnrolCard(FrameExchange& exchange, uint8_t address, const CardBytes& card,
                 std::span<const uint8_t, 4> staff, std::span<const uint8_t> name, Wait wait) {
  // A longer name would lose bytes to the check byte, half a Chinese
  // character among them: it is refused whole.
  if (name.size() > kNameBytes) {
    return TerminalError(ErrorCode::kInvalidArgument, address,
                         "name of " + std::to_string(name.size()) + " bytes (at most 8)");
  }
  const CommandSpec& spec = command::kCardSendToMachine;
  Bytes frame = CardFrame(spec, card);
  PutField(frame, kStaffOffset, staff);
  PutField(frame, kNameOffset, name);
  Bytes reply;
  return exchange.ExchangeEchoed(address, spec, frame, reply, wait);
}

Status RemoveCard(FrameExchange& exchange, uint8_t address, const CardBytes& card, Wait wait) {
  Bytes frame = CardFrame(command::kClearName, card);
  Bytes reply;
  return exchange.ExchangeEchoed(address, command::kClearName, frame, reply, wait);
}

Result<bool> FindCard(FrameExchange& exchange, uint8_t address, const CardBytes& card,
                      Wait wait) {
  Bytes frame = CardFrame(command::kFindCard, card);
  Bytes reply;
  if (Status status = exchange.Exchange(address, command::kFindCard, frame, reply, wait); !status) {
    return status.error();
  }
  return !(reply[3] == 0xFF && reply[4] == 0xFF && reply[5] == 0xFF);
}

Result<std::array<uint8_t, 8>> ReadCard(FrameExchange& exchange, uint8_t address, Wait wait) {
  const CommandSpec& spec = command::kReadCardNum;
  Bytes frame = MakeFrame(spec.code);
  Bytes reply;
  if (Status status = exchange.Exchange(address, spec, frame, reply, wait); !status) {
    return status.error();
  }
  const uint8_t kind = reply[2];
  if (kind != 0x04 && kind != 0x09) {
    return TerminalError(ErrorCode::kWrongEcho, address,
                         "no card read (reply kind " + std::to_string(kind) + ")");
  }
  std::array<uint8_t, 8> whole{};
  std::copy_n(reply.begin(), whole.size(), whole.begin());
  return whole;
}

Status StoreRecord(FrameExchange& exchange, uint8_t address, std::span<const uint8_t, 4> card,
                   std::span<const uint8_t, 6> time, uint8_t flag, uint8_t keep, Wait wait) {
  const CommandSpec& spec = command::kSendRecordToMachine;
  Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
  PutField(frame, 2, card);
  PutField(frame, 6, time);
  frame[12] = flag;
  frame[13] = keep;
  Bytes reply;
  return exchange.Exchange(address, spec, frame, reply, wait);
}

}  // namespace tallygate::commands
