// Start-up picture download: a start frame, then 32 data frames of 16 bytes
// in order. Each frame is answered with the terminal's address byte alone,
// which is all the host looks at. The picture shown changes only once the
// 32nd block is in.
#include <algorithm>
#include <string>

#include "link/protocol/command_table.h"
#include "sim/model/handlers.h"

namespace tallygate::sim::handlers {
namespace {

constexpr uint8_t kStartMarker = 0x55;

static_assert(command::kPictureStart.reply_length == 1 && command::kPictureData.reply_length == 1);

Reply AddressByte(const TerminalState& state, std::string effect = {}) {
  return Reply::Single(Bytes{state.address}, std::move(effect));
}

}  // namespace

Reply PictureStart(TerminalState& state, const ReceivedFrame& frame) {
  if (frame.param(0) != kStartMarker) return Reply::Silent("picture start without its 0x55 marker");
  state.picture_receiving = true;
  state.picture_blocks = 0;
  state.picture_incoming.fill(0);
  return AddressByte(state, "picture download started");
}

Reply PictureData(TerminalState& state, const ReceivedFrame& frame) {
  if (!state.picture_receiving) return Reply::Silent("picture data without a start frame");
  const auto offset = static_cast<size_t>(state.picture_blocks) * kPictureBlockBytes;
  for (size_t i = 0; i < kPictureBlockBytes; ++i) state.picture_incoming[offset + i] = frame.param(i);
  ++state.picture_blocks;
  std::string effect = "picture block " + std::to_string(state.picture_blocks) + " of " +
                       std::to_string(kPictureBlocks);
  if (state.picture_blocks == kPictureBlocks) {
    state.picture = state.picture_incoming;
    state.picture_loaded = true;
    state.picture_receiving = false;
    effect += ", picture shown";
  }
  return AddressByte(state, effect);
}

}  // namespace tallygate::sim::handlers
