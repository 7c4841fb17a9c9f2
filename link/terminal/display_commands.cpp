// Display message, voice prompt and keypad password. Each has its own reply
// test (or none): the four-byte answer is read as it comes and judged here.
// Every frame is whole before the first byte goes out, so a bad argument
// never leaves the bus holding an address byte without its frame.
#include <array>

#include "link/terminal/commands.h"

namespace tallygate::commands {
namespace {

// All four commands are answered with four bytes.
constexpr size_t kReplySize = 4;

// The message frame is one byte longer than its length byte says: the check
// byte follows offset 34 and covers the frame alone, not the address.
constexpr size_t kMessageBytes = 32;
constexpr size_t kMessageOffset = 3;
constexpr size_t kMessageFrameSize = command::kShowMessage.frame_length + 1;
static_assert(kMessageOffset + kMessageBytes + 1 == kMessageFrameSize);

// Sends address and frame, then reads the four-byte answer.
Result<std::array<uint8_t, 4>> Command(FrameExchange& exchange, uint8_t address,
                                       std::span<const uint8_t> frame, bool discard_unsent,
                                       double wait_seconds) {
  Transport& transport = exchange.transport();
  if (Status sent = transport.Send(address, frame, discard_unsent); !sent) {
    return TerminalError(sent.error().code(), address, sent.error().message());
  }
  if (Status waited = transport.AwaitBytes(kReplySize, wait_seconds, exchange.control());
      !waited) {
    return TerminalError(waited.error().code(), address,
                         waited.error().code() == ErrorCode::kNoReply
                             ? "no reply (" + waited.error().message() + ")"
                             : waited.error().message());
  }
  const Bytes reply = transport.Read(kReplySize);
  if (reply.size() < kReplySize) {
    return TerminalError(ErrorCode::kNoReply, address, "short reply");
  }
  return std::array<uint8_t, 4>{reply[0], reply[1], reply[2], reply[3]};
}

Bytes Sealed(uint8_t address, Bytes frame, int frame_length) {
  SealFrame(address, frame, frame_length);
  return frame;
}

}  // namespace

Status ShowMessage(FrameExchange& exchange, uint8_t address, uint8_t seconds,
                   std::span<const uint8_t> message, Wait wait) {
  // A 33rd byte would sit where the check byte goes.
  if (message.size() > kMessageBytes) {
    return TerminalError(ErrorCode::kInvalidArgument, address,
                         "message of " + std::to_string(message.size()) + " bytes (at most 32)");
  }
  std::array<uint8_t, kMessageFrameSize> frame{};
  frame[0] = static_cast<uint8_t>(command::kShowMessage.frame_length);
  frame[1] = command::kShowMessage.code;
  frame[2] = seconds;
  std::copy(message.begin(), message.end(), frame.begin() + kMessageOffset);
  frame.back() = XorOf(std::span<const uint8_t>(frame).first(kMessageFrameSize - 1));

  const auto reply = Command(exchange, address, frame, false,
                             wait.value_or(command::kShowMessage.timeout_seconds));
  if (!reply) return reply.error();
  if ((*reply)[0] != address) {
    return TerminalError(ErrorCode::kOtherAddress, address,
                         "reply from address " + std::to_string((*reply)[0]));
  }
  Pause(5);
  return {};
}

Status PlaySound(FrameExchange& exchange, uint8_t address, uint8_t number, Wait wait) {
  const Bytes frame = Sealed(address, MakeFrame(command::kPlaySound.code, {number}),
                             command::kPlaySound.frame_length);
  const auto reply =
      Command(exchange, address, frame, true, wait.value_or(command::kPlaySound.timeout_seconds));
  if (!reply) return reply.error();
  // Only the check byte and the echo are tested; byte 0 is not compared.
  const std::array<uint8_t, 4>& r = *reply;
  if (Status check = CheckReply(r, 4, false, address); !check) return check;
  if (Status echo = CheckEcho(r, command::kPlaySound, address); !echo) return echo;
  Pause(50);
  return {};
}

Result<std::array<uint8_t, 4>> SetPassword(FrameExchange& exchange, uint8_t address,
                                           std::span<const uint8_t, 4> digits, Wait wait) {
  const Bytes frame = Sealed(
      address, MakeFrame(command::kSetPassword.code, {digits[0], digits[1], digits[2], digits[3]}),
      command::kSetPassword.frame_length);
  return Command(exchange, address, frame, true,
                 wait.value_or(command::kSetPassword.timeout_seconds));
}

Result<std::array<uint8_t, 4>> Password(FrameExchange& exchange, uint8_t address, Wait wait) {
  const Bytes frame =
      Sealed(address, MakeFrame(command::kGetPassword.code), command::kGetPassword.frame_length);
  return Command(exchange, address, frame, true,
                 wait.value_or(command::kGetPassword.timeout_seconds));
}

}  // namespace tallygate::commands
