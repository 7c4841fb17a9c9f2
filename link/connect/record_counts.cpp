// Record counts: how many attendance records and card-list entries a
// terminal holds (page 0 of the record and card-list commands).
#include "link/connect/record_counts.h"

namespace tallygate {

bool QueryCount(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                int32_t& count, std::string* description) {
  count = 0;
  const uint8_t address = ToByte(varAddr);
  CallLine line(state);
  const Result<int32_t> counted = commands::Count(line.exchange(), address, spec);
  if (counted) {
    count = *counted;
    return true;
  }
  switch (counted.error().code()) {
    case ErrorCode::kWrongEcho:
      if (description != nullptr) *description = "Date Error";
      return false;
    case ErrorCode::kBadReply: throw BasicError(err::kOverflow);
    default: return false;
  }
}

bool Connect_v70::GatherRecordSum(int16_t varAddr, int32_t& VarRecordCount,
                                  std::string& VarDescritption) {
  VarRecordCount = 0;
  return RunCall(
      *state_, false,
      [&](bool& result) {
        result = QueryCount(*state_, varAddr, command::kRecordPages, VarRecordCount,
                            &VarDescritption);
      },
      [&](bool&, const BasicError& error) { VarDescritption = error.description(); });
}

bool Connect_v70::GatherSendCardSum(int16_t varAddr, int32_t& VarRecordCount) {
  VarRecordCount = 0;
  return RunCall(*state_, false, [&](bool& result) {
    result = QueryCount(*state_, varAddr, command::kCardPages, VarRecordCount, nullptr);
  });
}

}  // namespace tallygate
