// Record counts: how many attendance records and card-list entries a
// terminal holds (page 0 of the record and card-list commands).
#include "link/connect/record_counts.h"

#include "link/connect/connect_v70_state.h"

namespace tallygate {

bool QueryCount(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                int32_t& count, std::string* description) {
  count = 0;
  Bytes frame = MakeFrame(spec.code, {0});
  Bytes reply;
  if (!state.Exchange().Exchange(ToByte(varAddr), spec, frame, reply)) return false;
  if (reply[2] != spec.code) {
    if (description != nullptr) *description = "Date Error";
    return false;
  }
  // The count is a signed 16-bit value on the terminal's side; a high byte of
  // 0x80 or more cannot be a count, and taking it for 0 would tell the caller
  // the terminal is empty.
  if (reply[3] >= 0x80) throw BasicError(err::kOverflow);
  count = reply[3] * 256 + reply[4];
  return true;
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
