// The card list, the card reader and single attendance records.
#include <algorithm>
#include <array>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"
#include "sim/model/record_memory.h"
#include "sim/model/reply_builder.h"
#include "sim/model/terminal_view.h"

namespace tallygate::sim::handlers {
namespace {

using CardNumber = std::array<uint8_t, 4>;

template <size_t N>
std::array<uint8_t, N> Params(const ReceivedFrame& frame, size_t first) {
  std::array<uint8_t, N> bytes{};
  for (size_t i = 0; i < N; ++i) bytes[i] = frame.param(first + i);
  return bytes;
}

std::vector<CardEntry>::iterator Enrolled(TerminalState& state, const CardNumber& card) {
  return std::find_if(state.cards.begin(), state.cards.end(),
                      [&](const CardEntry& entry) { return entry.card == card; });
}

}  // namespace

// A card already on the list is replaced, so enrolling twice leaves one entry.
Reply CardSendToMachine(TerminalState& state, const ReceivedFrame& frame) {
  CardEntry entry;
  entry.card = Params<4>(frame, 0);
  entry.staff = Params<4>(frame, 4);
  entry.name = Params<8>(frame, 8);
  const auto found = Enrolled(state, entry.card);
  const bool replaced = found != state.cards.end();
  if (replaced) {
    *found = entry;
  } else {
    state.cards.push_back(entry);
  }
  return Acknowledge(state, frame, command::kCardSendToMachine,
                     (replaced ? "replaced " : "enrolled ") + CardText(entry));
}

// Without a card at the reader there is nothing to report, and the terminal
// stays silent.
Reply ReadCardNum(TerminalState& state, const ReceivedFrame& frame) {
  (void)frame;
  if (!state.presented_card) return Reply::Silent("no card at the reader");
  const PresentedCard& card = *state.presented_card;
  return Reply::Single(
      MakeReply(state.address, card.kind, card.card, command::kReadCardNum.reply_length),
      "read " + PresentedCardText(card));
}

Reply ClearName(TerminalState& state, const ReceivedFrame& frame) {
  const CardNumber card = Params<4>(frame, 0);
  const auto found = Enrolled(state, card);
  if (found == state.cards.end()) {
    return Acknowledge(state, frame, command::kClearName,
                       "card " + HexDigits(card) + " was not enrolled");
  }
  state.cards.erase(found);
  return Acknowledge(state, frame, command::kClearName, "removed card " + HexDigits(card));
}

Reply SendRecordToMachine(TerminalState& state, const ReceivedFrame& frame) {
  AttendanceRecord record;
  record.card = Params<4>(frame, 0);
  record.time = Params<6>(frame, 4);
  record.flag = frame.param(10);
  record.keep = frame.param(11);
  StoreRecord(state, record);
  return Acknowledge(state, frame, command::kSendRecordToMachine,
                     "stored record " + std::to_string(state.records.size()) + ": card " +
                         HexDigits(record.card) + " time " + HexDigits(record.time) + " flag " +
                         HexDigits(std::array{record.flag}) + " keep " +
                         HexDigits(std::array{record.keep}));
}

// Three bytes FF FF FF say the card is not listed; for a listed card they
// are the start of its staff number, changed where that happens to be
// FF FF FF so that a listed card never reads as missing.
Reply FindCard(TerminalState& state, const ReceivedFrame& frame) {
  const CardNumber card = Params<4>(frame, 0);
  const auto found = Enrolled(state, card);
  std::array<uint8_t, 3> data{0xFF, 0xFF, 0xFF};
  if (found != state.cards.end()) {
    std::copy_n(found->staff.begin(), 3, data.begin());
    if (data == std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF}) data[2] = 0xFE;
  }
  const bool listed = found != state.cards.end();
  return Reply::Single(
      MakeReply(state.address, frame.command(), data, command::kFindCard.reply_length),
      "card " + HexDigits(card) + (listed ? " is listed" : " is not listed"));
}

}  // namespace tallygate::sim::handlers
