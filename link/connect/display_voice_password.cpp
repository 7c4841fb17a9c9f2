// Display message, voice prompt and keypad password. Every argument is
// converted before the first byte goes out, so a bad argument never leaves
// the bus holding an address byte without its frame.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>

#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/text/code_page.h"
#include "tallygate/basic_convert.h"

namespace tallygate {
namespace {

constexpr int kPasswordDigits = 4;

// The four reply bytes as the digits of a decimal number, thousands first.
// The terminal does not promise bytes below 10, and the result is 16-bit: a
// total above 32767 is an "Overflow".
int16_t DigitsValue(const std::array<uint8_t, 4>& reply) {
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
    if (message.size() > 32) return;
    const uint8_t seconds = ToByte(TTime);
    // The message goes to the serial bus whatever the mode.
    CallLine line(*state_, CallLine::Bus::kSerial);
    result = commands::ShowMessage(line.exchange(), address, seconds, message).ok();
  });
}

bool Connect_v70::GetSounds(int16_t varAddr, int16_t SoundNum) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    const uint8_t number = ToByte(SoundNum);
    CallLine line(*state_, CallLine::Bus::kSerial);  // serial bus whatever the mode
    result = commands::PlaySound(line.exchange(), address, number).ok();
  });
}

bool Connect_v70::SetMachinePassword(int16_t varAddr, const std::string& strPassWord) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t address = ToByte(varAddr);
    if (!ParseNumber(strPassWord)) return;
    // Short passwords get leading zeros; a longer one gives its last four.
    const std::string password = FillLeft(strPassWord, kPasswordDigits);
    const std::array<uint8_t, 4> digits{DigitByte(password[0]), DigitByte(password[1]),
                                        DigitByte(password[2]), DigitByte(password[3])};
    CallLine line(*state_);
    line.ThrowLineErrors();
    const auto reply = commands::SetPassword(line.exchange(), address, digits);
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
        CallLine line(*state_);
        line.ThrowLineErrors();
        const auto reply = commands::Password(line.exchange(), address);
        if (reply) result = DigitsValue(*reply);
      },
      [](int16_t& result, const BasicError&) { result = -1; });
}

}  // namespace tallygate
