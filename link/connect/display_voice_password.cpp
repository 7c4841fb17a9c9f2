// Display message, voice prompt and keypad password. These commands drive the
// transport themselves, through the exchange's building blocks, because each
// has its own reply wait and reply test. Every argument is checked and the
// whole frame built before the first byte goes out, so a bad argument never
// leaves the bus holding an address byte without its frame.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>

#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/text/code_page.h"
#include "link/transport/wait.h"
#include "tallygate/basic_convert.h"

namespace tallygate {
namespace {

// All four commands are answered with four bytes.
constexpr int kReplyLength = 4;
constexpr size_t kReplySize = kReplyLength;

// The message frame is one byte longer than its length byte says: the check
// byte follows offset 34 and covers the frame alone, not the address.
constexpr size_t kMessageBytes = 32;
constexpr size_t kMessageOffset = 3;
constexpr size_t kMessageFrameSize = command::kShowMessage.frame_length + 1;
static_assert(kMessageOffset + kMessageBytes + 1 == kMessageFrameSize);

constexpr int kPasswordDigits = 4;

using Reply = std::optional<Bytes>;

// Address byte and frame on the serial bus, then the four-byte reply, or
// nothing when it did not come within `wait_seconds`.
Reply SerialCommand(FrameExchange& exchange, uint8_t address, std::span<const uint8_t> frame,
                    bool discard_output, double wait_seconds) {
  exchange.WriteSerialTransfer(address, frame, discard_output);
  if (!exchange.AwaitSerialBytes(kReplyLength, wait_seconds)) return std::nullopt;
  Bytes reply = exchange.ReadSerial(kReplyLength);
  if (reply.size() < kReplySize) return std::nullopt;
  return reply;
}

// The password commands use the serial bus in mode 0 and the connection
// otherwise. Nothing is sent over a connection that is not up.
Reply PasswordCommand(Connect_v70::State& state, uint8_t address, std::span<const uint8_t> frame,
                      double wait_seconds) {
  FrameExchange exchange = state.Exchange();
  if (exchange.serial()) return SerialCommand(exchange, address, frame, true, wait_seconds);
  if (!exchange.WriteTcpTransfer(address, frame)) return std::nullopt;
  if (!exchange.AwaitSocketBytes(kReplyLength, wait_seconds)) return std::nullopt;
  Bytes reply = exchange.ReadSocket(kReplyLength);
  if (reply.size() < kReplySize) return std::nullopt;
  return reply;
}

// The four reply bytes as the digits of a decimal number, thousands first.
// The terminal does not promise bytes below 10, and the result is 16-bit: a
// total above 32767 is an "Overflow".
int16_t DigitsValue(const Bytes& reply) {
  const int32_t value = reply[0] * 1000 + reply[1] * 100 + reply[2] * 10 + reply[3];
  if (value > 32767) throw BasicError(err::kOverflow);
  return static_cast<int16_t>(value);
}

// One password character as the digit's value. Signs, points and exponent
// letters pass as numeric text but are no digit.
uint8_t DigitByte(char c) {
  if (c < '0' || c > '9') throw BasicError(err::kTypeMismatch);
  return static_cast<uint8_t>(c - '0');
}

}  // namespace

bool Connect_v70::SendShortMsg(int16_t varAddr, int16_t TTime, const std::string& MsgStr) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    // Messages go out in the system code page as they are; only card names
    // are mapped between the Chinese character sets.
    const Bytes message = EncodeText(MsgStr, SystemCodePage(state_->locale_class));
    // A 33rd byte would sit where the check byte goes.
    if (message.size() > kMessageBytes) return;

    std::array<uint8_t, kMessageFrameSize> frame{};
    frame[0] = static_cast<uint8_t>(command::kShowMessage.frame_length);
    frame[1] = command::kShowMessage.code;
    frame[2] = ToByte(TTime);
    std::copy(message.begin(), message.end(), frame.begin() + kMessageOffset);
    frame.back() = XorOf(std::span<const uint8_t>(frame).first(kMessageFrameSize - 1));

    // The message goes to the serial bus whatever the mode. Unsent bytes are
    // left to go out: they may be the tail of a command that awaits nothing.
    FrameExchange exchange(state_->link, 0);
    const Reply reply =
        SerialCommand(exchange, address, frame, false, command::kShowMessage.timeout_seconds);
    if (!reply || (*reply)[0] != address) return;
    Pause(5);
    result = true;
  });
}

bool Connect_v70::GetSounds(int16_t varAddr, int16_t SoundNum) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    Bytes frame = MakeFrame(command::kPlaySound.code, {ToByte(SoundNum)});
    SealFrame(address, frame, command::kPlaySound.frame_length);

    FrameExchange exchange(state_->link, 0);  // serial bus whatever the mode
    const Reply reply =
        SerialCommand(exchange, address, frame, true, command::kPlaySound.timeout_seconds);
    // Only the check byte and the echo are tested; byte 0 is not compared.
    if (!reply) return;
    const Bytes& r = *reply;
    if (r[3] != XorOf(std::span<const uint8_t>(r).first(3)) || r[2] != command::kPlaySound.code) {
      return;
    }
    Pause(50);
    result = true;
  });
}

bool Connect_v70::SetMachinePassword(int16_t varAddr, const std::string& strPassWord) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    if (!ParseNumber(strPassWord)) return;
    // Short passwords get leading zeros; a longer one gives its last four.
    const std::string password = FillLeft(strPassWord, kPasswordDigits);
    Bytes frame =
        MakeFrame(command::kSetPassword.code, {DigitByte(password[0]), DigitByte(password[1]),
                                               DigitByte(password[2]), DigitByte(password[3])});
    SealFrame(address, frame, command::kSetPassword.frame_length);

    const Reply reply =
        PasswordCommand(*state_, address, frame, command::kSetPassword.timeout_seconds);
    if (!reply) return;
    // The terminal answers with the password it now holds.
    result = FillLeft(std::to_string(DigitsValue(*reply)), kPasswordDigits) == password;
  });
}

int16_t Connect_v70::GetMachinePassword(int16_t varAddr) {
  return RunCall(
      *state_, int16_t{0},
      [&](int16_t& result) {
        const uint8_t address = ToByte(varAddr);
        Bytes frame = MakeFrame(command::kGetPassword.code);
        SealFrame(address, frame, command::kGetPassword.frame_length);

        const Reply reply =
            PasswordCommand(*state_, address, frame, command::kGetPassword.timeout_seconds);
        if (reply) result = DigitsValue(*reply);
      },
      [](int16_t& result, const BasicError&) { result = -1; });
}

}  // namespace tallygate
