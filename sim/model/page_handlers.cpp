// Record and card-list counts and pages. Page 0 of 0xBB and 0xCC asks for
// the count; page p from 1 streams entries (p-1)*256 onwards, at most 256,
// each as one unit: [address, 0, command, entry..., check].
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "link/protocol/frame.h"
#include "sim/model/handlers.h"

namespace tallygate::sim::handlers {
namespace {

constexpr uint8_t kCountPage = 0;
constexpr size_t kUnitsPerPage = 256;
constexpr int kRecordUnitLength = 16;
constexpr int kCardUnitLength = 20;

// The count travels in two bytes, high first; a terminal holding more than
// 65535 entries reports the count modulo 65536.
Reply CountReply(uint8_t address, uint8_t echo, size_t count) {
  const std::array<uint8_t, 2> data{static_cast<uint8_t>((count >> 8) & 0xFF),
                                    static_cast<uint8_t>(count & 0xFF)};
  return Reply::Single(MakeReply(address, echo, data, 6));
}

Bytes RecordUnit(uint8_t address, uint8_t echo, const AttendanceRecord& record) {
  std::array<uint8_t, kRecordUnitLength - 4> data{};
  auto at = std::copy(record.card.begin(), record.card.end(), data.begin());
  at = std::copy(record.time.begin(), record.time.end(), at);
  *at++ = record.flag;
  *at = record.keep;
  return MakeReply(address, echo, data, kRecordUnitLength);
}

Bytes CardUnit(uint8_t address, uint8_t echo, const CardEntry& entry) {
  std::array<uint8_t, kCardUnitLength - 4> data{};
  auto at = std::copy(entry.card.begin(), entry.card.end(), data.begin());
  at = std::copy(entry.staff.begin(), entry.staff.end(), at);
  std::copy(entry.name.begin(), entry.name.end(), at);
  return MakeReply(address, echo, data, kCardUnitLength);
}

// The units of page `page` (from 1) of `entries`; a page past the end is
// not answered.
template <typename Entry, typename MakeUnit>
Reply Page(const std::vector<Entry>& entries, uint8_t page, MakeUnit make_unit) {
  const size_t first = (size_t{page} - 1) * kUnitsPerPage;
  if (first >= entries.size()) {
    return Reply::Silent("page " + std::to_string(page) + " is past the " +
                         std::to_string(entries.size()) + " entries");
  }
  const size_t last = std::min(entries.size(), first + kUnitsPerPage);
  Reply reply;
  reply.units.reserve(last - first);
  for (size_t i = first; i < last; ++i) reply.units.push_back(make_unit(entries[i]));
  return reply;
}

}  // namespace

Reply RecordPage(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t page = frame.param(0);
  if (page == kCountPage) return CountReply(state.address, frame.command(), state.records.size());
  return Page(state.records, page, [&](const AttendanceRecord& record) {
    return RecordUnit(state.address, frame.command(), record);
  });
}

Reply CardPage(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t page = frame.param(0);
  if (page == kCountPage) return CountReply(state.address, frame.command(), state.cards.size());
  return Page(state.cards, page, [&](const CardEntry& entry) {
    return CardUnit(state.address, frame.command(), entry);
  });
}

}  // namespace tallygate::sim::handlers
