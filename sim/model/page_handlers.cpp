// Record and card-list counts and pages. Page 0 of 0xBB and 0xCC asks for
// the count; page p from 1 streams entries (p-1)*256 onwards, at most 256,
// each as one unit laid out as link/protocol/units.h says.
#include <algorithm>
#include <cstddef>
#include <string>

#include "link/protocol/units.h"
#include "sim/model/handlers.h"
#include "sim/model/reply_builder.h"

namespace tallygate::sim::handlers {
namespace {

constexpr uint8_t kCountPage = 0;
constexpr auto kPageUnits = static_cast<size_t>(kUnitsPerPage);

// The units of page `page` (from 1) of `entries`; a page past the end is
// not answered.
template <typename Entry, typename MakeUnit>
Reply Page(const std::vector<Entry>& entries, uint8_t page, MakeUnit make_unit) {
  const size_t first = (size_t{page} - 1) * kPageUnits;
  if (first >= entries.size()) {
    return Reply::Silent("page " + std::to_string(page) + " is past the " +
                         std::to_string(entries.size()) + " entries");
  }
  const size_t last = std::min(entries.size(), first + kPageUnits);
  Reply reply;
  reply.units.reserve(last - first);
  for (size_t i = first; i < last; ++i) reply.units.push_back(make_unit(entries[i]));
  return reply;
}

}  // namespace

Reply RecordPage(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t page = frame.param(0);
  if (page == kCountPage) {
    return Reply::Single(CountReply(state.address, frame.command(), state.records.size()));
  }
  return Page(state.records, page, [&](const AttendanceRecord& record) {
    return RecordUnit(state.address, frame.command(), record);
  });
}

Reply CardPage(TerminalState& state, const ReceivedFrame& frame) {
  const uint8_t page = frame.param(0);
  if (page == kCountPage) {
    return Reply::Single(CountReply(state.address, frame.command(), state.cards.size()));
  }
  return Page(state.cards, page, [&](const CardEntry& entry) {
    return CardUnit(state.address, frame.command(), entry);
  });
}

}  // namespace tallygate::sim::handlers
