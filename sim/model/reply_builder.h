// The bytes of a terminal's replies: the plain reply, the acknowledgement,
// and the count and units of the record and card-list pages (units.h).
// The simulated terminal answers with them; tests and the soak's hostile
// peers build their terminals' answers with them too.
#ifndef TALLYGATE_SIM_MODEL_REPLY_BUILDER_H_
#define TALLYGATE_SIM_MODEL_REPLY_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/protocol/command_table.h"
#include "link/protocol/frame.h"
#include "sim/model/received_frame.h"
#include "sim/model/reply.h"
#include "sim/model/terminal_state.h"

namespace tallygate {

// A reply of `length` bytes: address, a zero byte, the echo, the data, and
// the check byte last. Data that does not fit before the check byte is left
// out.
Bytes MakeReply(uint8_t address, uint8_t echo, std::span<const uint8_t> data, int length);

}  // namespace tallygate

namespace tallygate::sim {

// The answer to a command that only changes the terminal: `command`'s reply
// length, echoing the frame's code. `effect` as in Reply.
Reply Acknowledge(const TerminalState& state, const ReceivedFrame& frame,
                  const CommandSpec& command, std::string effect = {});

// Page 0 of the record and card-list commands: the count in two bytes, high
// first; a terminal holding more than 65535 entries reports it modulo 65536.
Bytes CountReply(uint8_t address, uint8_t echo, size_t count);

// One unit of a record or card-list page.
Bytes RecordUnit(uint8_t address, uint8_t echo, const AttendanceRecord& record);
Bytes CardUnit(uint8_t address, uint8_t echo, const CardEntry& entry);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_REPLY_BUILDER_H_
