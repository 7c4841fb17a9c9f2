// System parameters, clock and ring schedules: the settings a terminal
// keeps, each written (or read) with one frame.
#include <algorithm>

#include "link/terminal/commands.h"

namespace tallygate::commands {

Result<std::array<uint8_t, 17>> ReadParameters(FrameExchange& exchange, uint8_t address,
                                               Wait wait) {
  const CommandSpec& spec = command::kReadSystemParameter;
  Bytes frame = MakeFrame(spec.code);
  Bytes reply;
  if (Status status = exchange.ExchangeEchoed(address, spec, frame, reply, wait); !status) {
    return status.error();
  }
  std::array<uint8_t, 17> whole{};
  std::copy_n(reply.begin(), whole.size(), whole.begin());
  return whole;
}

Status WriteParameters(FrameExchange& exchange, uint8_t address,
                       std::span<const uint8_t, 6> fields, Wait wait) {
  const CommandSpec& spec = command::kRepairSystemParameter;
  Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
  PutField(frame, 2, fields);
  Bytes reply;
  return exchange.ExchangeEchoed(address, spec, frame, reply, wait);
}

Status SetClock(FrameExchange& exchange, uint8_t address, std::span<const uint8_t, 7> fields,
                Wait wait) {
  const CommandSpec& spec = command::kModifyDateTime;
  Bytes frame = MakeEmptyFrame(spec.code, spec.frame_length);
  PutField(frame, 2, fields);
  Bytes reply;
  return exchange.Exchange(address, spec, frame, reply, wait);
}

Result<const CommandSpec*> RingScheduleSpec(int schedule) {
  switch (schedule) {
    case 1: return &command::kRingSchedule1;
    case 2: return &command::kRingSchedule2;
    case 3: return &command::kRingSchedule3;
    default:
      return Error(ErrorCode::kInvalidArgument,
                   "ring schedule " + std::to_string(schedule) + " (1, 2 or 3)");
  }
}

Status SetRingSchedule(FrameExchange& exchange, uint8_t address, const CommandSpec& schedule,
                       std::span<const uint8_t, 20> times, Wait wait) {
  Bytes frame = MakeEmptyFrame(schedule.code, schedule.frame_length);
  PutField(frame, 2, times);
  Bytes reply;
  return exchange.ExchangeEchoed(address, schedule, frame, reply, wait);
}

}  // namespace tallygate::commands
