// Record and card-list counts. Page 0 of 0xBB and 0xCC asks for the count;
// pages 1 and up stream the stored entries and are not simulated yet.
#include <array>
#include <cstddef>

#include "link/protocol/frame.h"
#include "sim/model/handlers.h"

namespace tallygate::sim::handlers {
namespace {

constexpr uint8_t kCountPage = 0;

// The count travels in two bytes, high first; a terminal holding more than
// 65535 entries reports the count modulo 65536.
Reply CountReply(uint8_t address, uint8_t echo, size_t count) {
  const std::array<uint8_t, 2> data{static_cast<uint8_t>((count >> 8) & 0xFF),
                                    static_cast<uint8_t>(count & 0xFF)};
  return Reply::Single(MakeReply(address, echo, data, 6));
}

}  // namespace

Reply RecordPage(TerminalState& state, const ReceivedFrame& frame) {
  if (frame.param(0) != kCountPage) return Reply::Silent("record pages are not simulated");
  return CountReply(state.address, frame.command(), state.records.size());
}

Reply CardPage(TerminalState& state, const ReceivedFrame& frame) {
  if (frame.param(0) != kCountPage) return Reply::Silent("card pages are not simulated");
  return CountReply(state.address, frame.command(), state.cards.size());
}

}  // namespace tallygate::sim::handlers
