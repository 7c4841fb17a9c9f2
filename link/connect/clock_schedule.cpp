// Clock and ring schedules: setting the terminal's date and time, and loading
// one of its three schedules of up to ten ring times.
//
// Every field travels as packed BCD: its decimal digits read as hexadecimal,
// so 23:59 is 0x23 0x59.
#include <algorithm>
#include <array>
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
  if (*section != 1 && *section != 2 && *section != 3) throw BasicError(err::kInvalidProcedureCall);
  return **commands::RingScheduleSpec(static_cast<int>(*section));
}

// Hour and minute of a date value, taken from its time of day rounded to the
// second, so that a value a hair below a whole minute keeps that minute.
void PutRingTime(std::array<uint8_t, 20>& times, size_t slot, double date_value) {
  if (!IsDateSerial(date_value)) throw BasicError(err::kOverflow);
  const DateParts parts = SplitDate(Date{date_value});
  times[2 * slot] = Bcd(parts.hour);
  times[2 * slot + 1] = Bcd(parts.minute);
}

bool SendSchedule(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                  const std::array<uint8_t, 20>& times) {
  const uint8_t address = ToByte(varAddr);
  CallLine line(state);
  return commands::SetRingSchedule(line.exchange(), address, spec, times).ok();
}

}  // namespace

bool Connect_v70::ModifyDateTime(int16_t varAddr, const std::string& DDate,
                                 const std::string& TTime, uint8_t WWeek) {
  return RunCall(
      *state_, false,
      [&](bool& result) {
        std::array<uint8_t, 7> fields{};
        for (size_t i = 0; i < 3; ++i) {
          fields[i] = StrictHexByte(Pair(DDate, i));
          fields[3 + i] = StrictHexByte(Pair(TTime, i));
        }
        fields[6] = Bcd(WWeek);
        const uint8_t address = ToByte(varAddr);
        CallLine line(*state_);
        result = commands::SetClock(line.exchange(), address, fields).ok();
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
    std::array<uint8_t, 20> times{};
    const size_t count = std::min(ITime.size(), kRingTimes);
    for (size_t slot = 0; slot < count; ++slot) PutRingTime(times, slot, ITime[slot]);
    result = SendSchedule(*state_, varAddr, spec, times);
  });
}

bool Connect_v70::SetClockStr(int16_t varAddr, const std::string& strTime,
                              const std::string& Sect) {
  return RunCall(*state_, false, [&](bool& result) {
    const CommandSpec& spec = RingSchedule(Sect);
    if (!std::all_of(strTime.begin(), strTime.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return;
    }
    // Digits only, so the pairs of "hhmm" groups are the text's pairs; a
    // short last group reads a lone digit as itself and a missing pair as 0.
    const std::vector<uint8_t> pairs = LenientHexPairs(strTime, 2 * kRingTimes);
    std::array<uint8_t, 20> times{};
    std::copy_n(pairs.begin(), times.size(), times.begin());
    result = SendSchedule(*state_, varAddr, spec, times);
  });
}

}  // namespace tallygate
