// How records come into a terminal's memory. Whatever adds records (seeding,
// card swipes, SendRecordToMachine) goes through here, so that the
// terminal's history misses none: every record it has held since the
// simulator started, in the order they came, those since cleared included.
#ifndef TALLYGATE_SIM_MODEL_RECORD_MEMORY_H_
#define TALLYGATE_SIM_MODEL_RECORD_MEMORY_H_

#include <vector>

#include "sim/model/terminal_state.h"

namespace tallygate::sim {

// Appends `record` to the records held.
void StoreRecord(TerminalState& state, const AttendanceRecord& record);

// The records held become `records` (seeding); they join the history.
void ReplaceRecords(TerminalState& state, std::vector<AttendanceRecord> records);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_RECORD_MEMORY_H_
