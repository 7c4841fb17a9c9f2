// What a terminal would show, as text for the log and the status command:
// its clock, parameters, ring schedules, message, voice prompt, password,
// the card at its reader, its card list and its start-up picture. Texts the
// terminal keeps as GB2312 bytes come out as UTF-8 (gb_text.h).
#ifndef TALLYGATE_SIM_MODEL_TERMINAL_VIEW_H_
#define TALLYGATE_SIM_MODEL_TERMINAL_VIEW_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/model/terminal_state.h"

namespace tallygate::sim {

// Upper-case hexadecimal digits, two per byte, no separator (BytesToHex).
std::string HexDigits(std::span<const uint8_t> bytes);

// "07-09-27 09:36:28 weekday 4" (the BCD digits as sent), or "-" before the
// clock was ever set.
std::string ClockText(const TerminalState& state);

// The ten ring times of schedule `index` (0 to 2) as "hh:mm" words.
std::string RingScheduleText(const TerminalState& state, int index);

// The message as quoted UTF-8 and its display time, or "-".
std::string MessageText(const TerminalState& state);

// The prompt a voice prompt number plays ("欢迎你" for 3), empty when the
// number has no known text.
std::string_view SoundPrompt(uint8_t number);
// "3 \"欢迎你\"", or the number alone.
std::string SoundText(uint8_t number);

// "card 0000012C staff 00000123 name D5C5C8FD00000000 \"张三\"".
std::string CardText(const CardEntry& entry);

// "300 (0000012C) kind 0x04".
std::string PresentedCardText(const PresentedCard& card);

// The picture as 32 lines of 32 hexadecimal digits, one 16-byte block each.
std::vector<std::string> PictureLines(const std::array<uint8_t, kPictureBytes>& picture);

// Everything above as indented lines for the status command; at most
// `max_cards` card-list entries are listed.
std::vector<std::string> StatusDetail(const TerminalState& state, size_t max_cards = 16);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_TERMINAL_VIEW_H_
