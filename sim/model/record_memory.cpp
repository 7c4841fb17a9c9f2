#include "sim/model/record_memory.h"

#include <utility>

namespace tallygate::sim {

void StoreRecord(TerminalState& state, const AttendanceRecord& record) {
  state.records.push_back(record);
  state.history.push_back(record);
}

void ReplaceRecords(TerminalState& state, std::vector<AttendanceRecord> records) {
  state.history.insert(state.history.end(), records.begin(), records.end());
  state.records = std::move(records);
}

}  // namespace tallygate::sim
