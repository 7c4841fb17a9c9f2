// Display message, voice prompt and keypad password.
#include <algorithm>
#include <array>
#include <string>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"
#include "sim/model/reply_builder.h"
#include "sim/model/terminal_view.h"

namespace tallygate::sim::handlers {
namespace {

constexpr size_t kMessageBytes = 32;
constexpr size_t kPasswordDigits = 4;

// The password answers carry the four digit values and nothing else: no
// echo, no check byte.
static_assert(kPasswordDigits == std::tuple_size_v<decltype(TerminalState::password)>);
static_assert(command::kSetPassword.reply_length == int{kPasswordDigits} &&
              command::kGetPassword.reply_length == int{kPasswordDigits});
Bytes PasswordDigits(const TerminalState& state) { return Bytes(state.password.begin(), state.password.end()); }

}  // namespace

// Frame bytes 3 to 34 hold the message, zero-filled; the fill is not part of
// what the terminal shows.
Reply ShowMessage(TerminalState& state, const ReceivedFrame& frame) {
  state.message_time = frame.param(0);
  Bytes message;
  for (size_t i = 0; i < kMessageBytes; ++i) message.push_back(frame.param(1 + i));
  while (!message.empty() && message.back() == 0) message.pop_back();
  state.message = std::move(message);
  return Acknowledge(state, frame, command::kShowMessage, "message " + MessageText(state));
}

Reply PlaySound(TerminalState& state, const ReceivedFrame& frame) {
  state.last_sound = frame.param(0);
  return Acknowledge(state, frame, command::kPlaySound, "sound " + SoundText(*state.last_sound));
}

// A password digit must be a digit's value, 0 to 9.
Reply SetPassword(TerminalState& state, const ReceivedFrame& frame) {
  std::array<uint8_t, kPasswordDigits> digits{};
  for (size_t i = 0; i < kPasswordDigits; ++i) {
    digits[i] = frame.param(i);
    if (digits[i] > 9) return Reply::Silent("password digit " + std::to_string(digits[i]) + " is no digit");
  }
  state.password = digits;
  std::string text;
  for (uint8_t digit : digits) text += static_cast<char>('0' + digit);
  return Reply::Single(PasswordDigits(state), "password " + text);
}

Reply GetPassword(TerminalState& state, const ReceivedFrame& frame) {
  (void)frame;
  return Reply::Single(PasswordDigits(state));
}

}  // namespace tallygate::sim::handlers
