// Memory maintenance and storage mode: each command is answered by one short
// reply [address, 0, echo, data..., check].
#include <array>
#include <chrono>
#include <string>

#include "link/protocol/frame.h"
#include "sim/model/handlers.h"

namespace tallygate::sim::handlers {
namespace {

// The guard byte RepairAddress carries before the new address.
constexpr uint8_t kRepairAddressGuard = 0x55;

// Longer than a host takes to start its next command, short enough that a
// host pausing between commands finds the answer already there.
constexpr std::chrono::milliseconds kUnawaitedAnswerHold{150};

Reply Acknowledge(uint8_t address, uint8_t echo) {
  return Reply::Single(MakeReply(address, echo, {}, 4));
}

}  // namespace

Reply ClearFlag(TerminalState& state, const ReceivedFrame& frame) {
  return Acknowledge(state.address, frame.command());
}

Reply ClearRecord(TerminalState& state, const ReceivedFrame& frame) {
  state.records.clear();
  return Acknowledge(state.address, frame.command());
}

Reply ClearNameList(TerminalState& state, const ReceivedFrame& frame) {
  state.cards.clear();
  return Acknowledge(state.address, frame.command());
}

Reply RepairAddress(TerminalState& state, const ReceivedFrame& frame) {
  if (frame.param(0) != kRepairAddressGuard) return Reply::Silent("guard byte is not 0x55");
  const uint8_t new_address = frame.param(1);
  state.address = new_address;
  const std::array<uint8_t, 1> data{new_address};
  return Reply::Single(MakeReply(new_address, frame.command(), data, 5));
}

// The host awaits no answer to 0x44, so the acknowledgement is held back and
// given up when the host goes on at once: it must not arrive in the middle
// of the next command's reply. A host that waits finds it waiting, and its
// next command discards it.
Reply SetStorageModel(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t mode = frame.param(0);
  if (mode != 1 && mode != 2) return Reply::Silent("storage mode " + std::to_string(mode) + " refused");
  state.storage_mode = mode;
  Reply reply = Acknowledge(state.address, frame.command());
  reply.effect = "storage mode " + std::to_string(mode);
  reply.hold = kUnawaitedAnswerHold;
  return reply;
}

Reply GetStorageModel(TerminalState& state, const ReceivedFrame& frame) {
  const std::array<uint8_t, 1> data{state.storage_mode};
  return Reply::Single(MakeReply(state.address, frame.command(), data, 5));
}

}  // namespace tallygate::sim::handlers
