// Memory maintenance and storage mode: each command is answered by one short
// reply [address, 0, echo, data..., check].
#include <array>
#include <chrono>
#include <string>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"
#include "sim/model/reply_builder.h"

namespace tallygate::sim::handlers {
namespace {

// The guard byte RepairAddress carries before the new address.
constexpr uint8_t kRepairAddressGuard = 0x55;

// Longer than a host takes to start its next command, short enough that a
// host pausing between commands finds the answer already there.
constexpr std::chrono::milliseconds kUnawaitedAnswerHold{150};

}  // namespace

Reply ClearFlag(TerminalState& state, const ReceivedFrame& frame) {
  return Acknowledge(state, frame, command::kClearFlag);
}

Reply ClearRecord(TerminalState& state, const ReceivedFrame& frame) {
  state.records.clear();
  return Acknowledge(state, frame, command::kClearRecord);
}

Reply ClearNameList(TerminalState& state, const ReceivedFrame& frame) {
  state.cards.clear();
  return Acknowledge(state, frame, command::kClearNameList);
}

Reply RepairAddress(TerminalState& state, const ReceivedFrame& frame) {
  if (frame.param(0) != kRepairAddressGuard) return Reply::Silent("guard byte is not 0x55");
  const uint8_t new_address = frame.param(1);
  state.address = new_address;
  const std::array<uint8_t, 1> data{new_address};
  return Reply::Single(
      MakeReply(new_address, frame.command(), data, command::kRepairAddress.reply_length));
}

// The host awaits no answer to 0x44 (its reply length is 0), yet the terminal
// acknowledges it as it does a cleared flag. The acknowledgement is held back
// and given up when the host goes on at once: it must not arrive in the
// middle of the next command's reply. A host that waits finds it waiting, and
// its next command discards it.
Reply SetStorageModel(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t mode = frame.param(0);
  if (mode != 1 && mode != 2) return Reply::Silent("storage mode " + std::to_string(mode) + " refused");
  state.storage_mode = mode;
  Reply reply =
      Acknowledge(state, frame, command::kClearFlag, "storage mode " + std::to_string(mode));
  reply.hold = kUnawaitedAnswerHold;
  return reply;
}

Reply GetStorageModel(TerminalState& state, const ReceivedFrame& frame) {
  const std::array<uint8_t, 1> data{state.storage_mode};
  return Reply::Single(
      MakeReply(state.address, frame.command(), data, command::kGetStorageModel.reply_length));
}

}  // namespace tallygate::sim::handlers
