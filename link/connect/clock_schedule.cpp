// Clock and ring schedules: setting the terminal's date and time, and loading
// one of its three schedules of up to ten ring times.
//
// Every field travels as packed BCD: its decimal digits read as hexadecimal,
// so 23:59 is 0x23 0x59.
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "tallygate/basic_convert.h"
#include "tallygate/date.h"
#include "tallygate/host.h"

namespace tallygate {
namespace {

constexpr size_t kRingTimes = 10;

// Pair `index` of a date or time text: two characters, or fewer at its end.
// A non-ASCII character cannot form a valid pair, so cutting by bytes fails
// exactly where cutting by characters would.
std::string_view Pair(std::string_view text, size_t index) {
  return text.substr(std::min(2 * index, text.size()), 2);
}

uint8_t Bcd(int value) {
  // 100 and up would need a third digit, which no byte holds.
  if (value < 0 || value > 99) throw BasicError(err::kOverflow);
  return StrictHexByte(std::to_string(value));
}

// The schedule a section number names. No code exists for other sections.
const CommandSpec& RingSchedule(const std::string& Sect) {
  const std::optional<double> section = ParseNumber(Sect);
  if (!section) throw BasicError(err::kTypeMismatch);
  if (*section == 1) return command::kRingSchedule1;
  if (*section == 2) return command::kRingSchedule2;
  if (*section == 3) return command::kRingSchedule3;
  throw BasicError(err::kInvalidProcedureCall);
}

// Hour and minute of a date value, taken from its time of day rounded to the
// second, so that a value a hair below a whole minute keeps that minute.
void PutRingTime(Bytes& frame, size_t slot, double date_value) {
  if (!IsDateSerial(date_value)) throw BasicError(err::kOverflow);
  const DateParts parts = SplitDate(Date{date_value});
  frame[2 + 2 * slot] = Bcd(parts.hour);
  frame[3 + 2 * slot] = Bcd(parts.minute);
}

bool SendSchedule(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                  Bytes& frame) {
  Bytes reply;
  return state.Exchange().Exchange(ToByte(varAddr), spec, frame, reply) && reply[2] == spec.code;
}

}  // namespace

bool Connect_v70::ModifyDateTime(int16_t varAddr, const std::string& DDate,
                                 const std::string& TTime, uint8_t WWeek) {
  return RunCall(
      *state_, false,
      [&](bool& result) {
        const CommandSpec& spec = command::kModifyDateTime;
        Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
        for (size_t i = 0; i < 3; ++i) {
          frame[2 + i] = StrictHexByte(Pair(DDate, i));
          frame[5 + i] = StrictHexByte(Pair(TTime, i));
        }
        frame[8] = Bcd(WWeek);
        Bytes reply;
        result = state_->Exchange().Exchange(ToByte(varAddr), spec, frame, reply);
      },
      // The one command that tells its caller why it failed, in a box.
      [](bool&, const BasicError& error) {
        host::MessageBox("ModifyDateTime",
                         std::to_string(error.number()) + ":" + error.description(), TG_MB_OK);
      });
}

bool Connect_v70::SetClock(int16_t varAddr, std::vector<double>& ITime, const std::string& Sect) {
  return RunCall(*state_, false, [&](bool& result) {
    const CommandSpec& spec = RingSchedule(Sect);
    Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
    const size_t count = std::min(ITime.size(), kRingTimes);
    for (size_t slot = 0; slot < count; ++slot) PutRingTime(frame, slot, ITime[slot]);
    result = SendSchedule(*state_, varAddr, spec, frame);
  });
}

bool Connect_v70::SetClockStr(int16_t varAddr, const std::string& strTime,
                              const std::string& Sect) {
  return RunCall(*state_, false, [&](bool& result) {
    const CommandSpec& spec = RingSchedule(Sect);
    if (!std::all_of(strTime.begin(), strTime.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return;
    }
    Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
    // Digits only, so the pairs of "hhmm" groups are the text's pairs; a
    // short last group reads a lone digit as itself and a missing pair as 0.
    const std::vector<uint8_t> times = LenientHexPairs(strTime, 2 * kRingTimes);
    std::copy(times.begin(), times.end(), frame.begin() + 2);
    result = SendSchedule(*state_, varAddr, spec, frame);
  });
}

}  // namespace tallygate
