// Clock, ring schedules and system parameters: each write is stored as the
// bytes that came and acknowledged with [address, 0, echo, check].
#include <string>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"
#include "sim/model/reply_builder.h"
#include "sim/model/terminal_view.h"

namespace tallygate::sim::handlers {
namespace {

// RepairSystemParameter writes the relay delay, punch interval and mode
// word, two bytes each, at the start of the parameter block.
constexpr size_t kWrittenParameterBytes = 6;

}  // namespace

Reply ModifyDateTime(TerminalState& state, const ReceivedFrame& frame) {
  for (size_t i = 0; i < state.clock.size(); ++i) state.clock[i] = frame.param(i);
  state.clock_set = true;
  return Acknowledge(state, frame, command::kModifyDateTime, "clock " + ClockText(state));
}

// 0x0E, 0x1E and 0x2E load schedules 1, 2 and 3.
Reply SetRingSchedule(TerminalState& state, const ReceivedFrame& frame) {
  const int index = frame.command() >> 4;
  auto& times = state.ring_schedules.at(static_cast<size_t>(index));
  for (size_t i = 0; i < times.size(); ++i) times[i] = frame.param(i);
  // The three schedules differ only in their code.
  return Acknowledge(state, frame, command::kRingSchedule1,
                     "ring-schedule " + std::to_string(index + 1) + " " + RingScheduleText(state, index));
}

Reply RepairSystemParameter(TerminalState& state, const ReceivedFrame& frame) {
  for (size_t i = 0; i < kWrittenParameterBytes; ++i) state.parameters[i] = frame.param(i);
  return Acknowledge(state, frame, command::kRepairSystemParameter,
                     "parameters " + HexDigits(state.parameters));
}

Reply ReadSystemParameter(TerminalState& state, const ReceivedFrame& frame) {
  return Reply::Single(MakeReply(state.address, frame.command(), state.parameters,
                                 command::kReadSystemParameter.reply_length));
}

}  // namespace tallygate::sim::handlers
