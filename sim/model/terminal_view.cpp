#include "sim/model/terminal_view.h"


#include "link/protocol/hex_text.h"
#include "sim/model/gb_text.h"

namespace tallygate::sim {
namespace {

constexpr std::string_view kIndent = "  ";

// The voice prompts whose words are known; number 2 has none.
constexpr std::array<std::string_view, 9> kPrompts{
    "", "无效卡", "", "欢迎你", "你好", "生日快乐", "你迟到了", "节日快乐", "注意安全"};

std::string Hex2(uint8_t byte) { return BytesToHex(std::span<const uint8_t>(&byte, 1)); }

int32_t SignedCard(const std::array<uint8_t, 4>& card) {
  return static_cast<int32_t>(uint32_t{card[0]} << 24 | uint32_t{card[1]} << 16 |
                              uint32_t{card[2]} << 8 | uint32_t{card[3]});
}

}  // namespace

std::string HexDigits(std::span<const uint8_t> bytes) { return BytesToHex(bytes); }

std::string ClockText(const TerminalState& state) {
  if (!state.clock_set) return "-";
  const auto& c = state.clock;
  return Hex2(c[0]) + "-" + Hex2(c[1]) + "-" + Hex2(c[2]) + " " + Hex2(c[3]) + ":" + Hex2(c[4]) +
         ":" + Hex2(c[5]) + " weekday " + Hex2(c[6]);
}

std::string RingScheduleText(const TerminalState& state, int index) {
  const auto& times = state.ring_schedules.at(static_cast<size_t>(index));
  std::string text;
  for (size_t i = 0; i < times.size(); i += 2) {
    if (!text.empty()) text += ' ';
    text += Hex2(times[i]) + ":" + Hex2(times[i + 1]);
  }
  return text;
}

std::string MessageText(const TerminalState& state) {
  if (state.message.empty()) return "-";
  return Quoted(GbToUtf8(state.message)) + " for " + std::to_string(state.message_time);
}

std::string_view SoundPrompt(uint8_t number) {
  return number < kPrompts.size() ? kPrompts[number] : std::string_view();
}

std::string SoundText(uint8_t number) {
  const std::string_view prompt = SoundPrompt(number);
  std::string text = std::to_string(number);
  if (!prompt.empty()) {
    text += ' ';
    text += Quoted(std::string(prompt));
  }
  return text;
}

std::string CardText(const CardEntry& entry) {
  return "card " + HexDigits(entry.card) + " staff " + HexDigits(entry.staff) + " name " +
         HexDigits(entry.name) + " " + Quoted(GbToUtf8(entry.name));
}

std::string PresentedCardText(const PresentedCard& card) {
  return std::to_string(SignedCard(card.card)) + " (" + HexDigits(card.card) + ") kind 0x" +
         Hex2(card.kind);
}

std::vector<std::string> PictureLines(const std::array<uint8_t, kPictureBytes>& picture) {
  std::vector<std::string> lines;
  for (size_t block = 0; block < kPictureBlocks; ++block) {
    lines.push_back(HexDigits(std::span<const uint8_t>(picture).subspan(block * kPictureBlockBytes,
                                                                         kPictureBlockBytes)));
  }
  return lines;
}

std::vector<std::string> StatusDetail(const TerminalState& state, size_t max_cards) {
  std::vector<std::string> lines;
  auto add = [&](const std::string& line) { lines.push_back(std::string(kIndent) + line); };
  add("clock " + ClockText(state));
  add("parameters " + HexDigits(state.parameters));
  for (int i = 0; i < kRingSchedules; ++i) {
    add("ring-schedule " + std::to_string(i + 1) + " " + RingScheduleText(state, i));
  }
  add("message " + MessageText(state));
  add("sound " + (state.last_sound ? SoundText(*state.last_sound) : std::string("-")));
  std::string password;
  for (uint8_t digit : state.password) password += std::to_string(digit);
  add("password " + password);
  add("reader " + (state.presented_card ? PresentedCardText(*state.presented_card) : std::string("-")));
  for (size_t i = 0; i < state.cards.size() && i < max_cards; ++i) add(CardText(state.cards[i]));
  if (state.cards.size() > max_cards) {
    add("... " + std::to_string(state.cards.size() - max_cards) + " more cards");
  }
  if (!state.picture_loaded) {
    add("picture -");
  } else {
    add("picture");
    for (const std::string& line : PictureLines(state.picture)) add(std::string(kIndent) + line);
  }
  return lines;
}

}  // namespace tallygate::sim
