// Command handlers, one per command code, grouped by file as the commands
// are grouped by job. Each takes the terminal's state and the frame, changes
// the state and returns the reply (reply.h); see terminal_commands.cpp for
// which code each one answers.
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

// Record and card-list counts (page 0) and pages (page_handlers.cpp).
Reply RecordPage(TerminalState& state, const ReceivedFrame& frame);
Reply CardPage(TerminalState& state, const ReceivedFrame& frame);

// Card list, card reader and single records (card_handlers.cpp).
Reply CardSendToMachine(TerminalState& state, const ReceivedFrame& frame);
Reply ReadCardNum(TerminalState& state, const ReceivedFrame& frame);
Reply ClearName(TerminalState& state, const ReceivedFrame& frame);
Reply SendRecordToMachine(TerminalState& state, const ReceivedFrame& frame);
Reply FindCard(TerminalState& state, const ReceivedFrame& frame);

// Clock, ring schedules and system parameters (clock_handlers.cpp).
Reply ModifyDateTime(TerminalState& state, const ReceivedFrame& frame);
Reply SetRingSchedule(TerminalState& state, const ReceivedFrame& frame);  // 0x0E, 0x1E, 0x2E
Reply RepairSystemParameter(TerminalState& state, const ReceivedFrame& frame);
Reply ReadSystemParameter(TerminalState& state, const ReceivedFrame& frame);

// Display message, voice prompt and keypad password (display_handlers.cpp).
Reply ShowMessage(TerminalState& state, const ReceivedFrame& frame);
Reply PlaySound(TerminalState& state, const ReceivedFrame& frame);
Reply SetPassword(TerminalState& state, const ReceivedFrame& frame);
Reply GetPassword(TerminalState& state, const ReceivedFrame& frame);

// Start-up picture download (picture_handlers.cpp).
Reply PictureStart(TerminalState& state, const ReceivedFrame& frame);
Reply PictureData(TerminalState& state, const ReceivedFrame& frame);

}  // namespace tallygate::sim::handlers

#endif  // TALLYGATE_SIM_MODEL_HANDLERS_H_
