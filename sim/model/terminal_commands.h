// The terminal's command codes: name, the FrameLength it accepts, and the
// handler that answers it.
//
// Adding a command to the simulator is writing its handler (handlers.h) and
// naming it in its row of the table. Rows without a handler are known by
// name (for logs and fault rules) but leave the terminal silent.
#ifndef TALLYGATE_SIM_MODEL_TERMINAL_COMMANDS_H_
#define TALLYGATE_SIM_MODEL_TERMINAL_COMMANDS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/model/received_frame.h"
#include "sim/model/reply.h"
#include "sim/model/terminal_state.h"

namespace tallygate::sim {

// Answers one frame addressed to the terminal whose state it is given. The
// frame's FrameLength has been checked against the table.
using Handler = Reply (*)(TerminalState& state, const ReceivedFrame& frame);

// Code, FrameLength and reply length come from the library's command table
// (link/protocol/command_table.h); the names are the simulator's own, used in
// logs and fault rules.
struct CommandInfo {
  uint8_t code;
  std::string_view name;
  int frame_length;  // the FrameLength byte the terminal accepts
  int reply_length;  // the reply the host waits for; 0: it waits for none
  Handler handler;   // nullptr: not simulated
};

// Every known command, in code order.
std::span<const CommandInfo> AllCommands();

// The row of `code`, or nullptr.
const CommandInfo* FindCommand(uint8_t code);

// The name of `code`, or "unknown".
std::string_view CommandName(uint8_t code);

// The codes a name stands for, ignoring case: a command's own name, or one of
// the aliases that group codes ("SetClock": the three ring schedules,
// "SendPictureMach": picture start and data, "GatherData": 0xBB,
// "GatherSendCardData": 0xCC). Empty when the name is unknown.
std::vector<uint8_t> CodesNamed(std::string_view name);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_TERMINAL_COMMANDS_H_
