#include "sim/model/reply_builder.h"

#include <algorithm>
#include <array>
#include <utility>

#include "link/protocol/units.h"

namespace tallygate {
namespace {

// Writes the check byte: the XOR of all bytes before it.
void Seal(Bytes& reply) {
  if (!reply.empty()) reply.back() = XorOf(std::span<const uint8_t>(reply).first(reply.size() - 1));
}

}  // namespace

Bytes MakeReply(uint8_t address, uint8_t echo, std::span<const uint8_t> data, int length) {
  Bytes reply(static_cast<size_t>(length), 0);
  if (length > 0) reply[0] = address;
  if (length > 2) reply[2] = echo;
  for (size_t i = 0; i < data.size() && 3 + i + 1 < reply.size(); ++i) reply[3 + i] = data[i];
  Seal(reply);
  return reply;
}

namespace sim {

static_assert(std::tuple_size_v<decltype(AttendanceRecord::time)> == record_unit::kTimeBytes);
static_assert(std::tuple_size_v<decltype(CardEntry::staff)> == card_unit::kStaffBytes);
static_assert(std::tuple_size_v<decltype(CardEntry::name)> == card_unit::kNameBytes);

Reply Acknowledge(const TerminalState& state, const ReceivedFrame& frame,
                  const CommandSpec& command, std::string effect) {
  return Reply::Single(MakeReply(state.address, frame.command(), {}, command.reply_length),
                       std::move(effect));
}

// One count reply serves both page commands.
static_assert(command::kRecordPages.reply_length == command::kCardPages.reply_length);

Bytes CountReply(uint8_t address, uint8_t echo, size_t count) {
  const std::array<uint8_t, 2> data{static_cast<uint8_t>((count >> 8) & 0xFF),
                                    static_cast<uint8_t>(count & 0xFF)};
  return MakeReply(address, echo, data, command::kRecordPages.reply_length);
}

Bytes RecordUnit(uint8_t address, uint8_t echo, const AttendanceRecord& record) {
  Bytes unit = MakeReply(address, echo, {}, record_unit::kLength);
  std::copy(record.card.begin(), record.card.end(), unit.begin() + record_unit::kCard);
  std::copy(record.time.begin(), record.time.end(), unit.begin() + record_unit::kTime);
  unit[record_unit::kFlag] = record.flag;
  unit[record_unit::kKeep] = record.keep;
  Seal(unit);
  return unit;
}

Bytes CardUnit(uint8_t address, uint8_t echo, const CardEntry& entry) {
  Bytes unit = MakeReply(address, echo, {}, card_unit::kLength);
  std::copy(entry.card.begin(), entry.card.end(), unit.begin() + card_unit::kCard);
  std::copy(entry.staff.begin(), entry.staff.end(), unit.begin() + card_unit::kStaff);
  std::copy(entry.name.begin(), entry.name.end(), unit.begin() + card_unit::kName);
  Seal(unit);
  return unit;
}

}  // namespace sim
}  // namespace tallygate
