// Command handlers, one per command code, grouped by file as the commands
// are grouped by job. Each takes the terminal's state and the frame, changes
// the state and returns the reply (reply.h); see command_table.cpp for which
// code each one answers.
#ifndef TALLYGATE_SIM_MODEL_HANDLERS_H_
#define TALLYGATE_SIM_MODEL_HANDLERS_H_

#include "sim/model/received_frame.h"
#include "sim/model/reply.h"
#include "sim/model/terminal_state.h"

namespace tallygate::sim::handlers {

// Memory maintenance and storage mode (memory_handlers.cpp).
Reply ClearFlag(TerminalState& state, const ReceivedFrame& frame);
Reply ClearRecord(TerminalState& state, const ReceivedFrame& frame);
Reply ClearNameList(TerminalState& state, const ReceivedFrame& frame);
Reply RepairAddress(TerminalState& state, const ReceivedFrame& frame);
Reply SetStorageModel(TerminalState& state, const ReceivedFrame& frame);
Reply GetStorageModel(TerminalState& state, const ReceivedFrame& frame);

// Record and card-list counts and pages (count_handlers.cpp).
Reply RecordPage(TerminalState& state, const ReceivedFrame& frame);
Reply CardPage(TerminalState& state, const ReceivedFrame& frame);

}  // namespace tallygate::sim::handlers

#endif  // TALLYGATE_SIM_MODEL_HANDLERS_H_
