// Memory maintenance and storage mode: address change, flag, record and
// card-list erasure, storage mode.
#include "link/connect/connect_v70_state.h"
#include "link/transport/wait.h"

namespace tallygate {
namespace {

// How long a storage-mode change waits for an acknowledgement to discard.
constexpr int kStorageModeSettleMs = 100;

// Erase commands: a reply that echoes the command, then a pause that gives
// the terminal time to finish erasing before the next command.
bool Erase(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec, int pause_ms) {
  return RunCall(state, false, [&](bool& result) {
    Bytes frame = MakeFrame(spec.code);
    Bytes reply;
    if (!state.Exchange().Exchange(ToByte(varAddr), spec, frame, reply)) {
      Pause(pause_ms);
      return;
    }
    if (reply[2] != spec.code) return;
    Pause(pause_ms);
    result = true;
  });
}

}  // namespace

bool Connect_v70::RepairAddress(int16_t varAddr, int16_t NewAddress) {
  return RunCall(*state_, false, [&](bool& result) {
    Bytes frame = MakeFrame(command::kRepairAddress.code, {0x55, ToByte(NewAddress)});
    Bytes reply;
    // The answer comes from the new address, so byte 0 is not compared.
    result = state_->Exchange().Exchange(ToByte(varAddr), command::kRepairAddress, frame, reply);
  });
}

bool Connect_v70::ClearFlag(int16_t varAddr) {
  return RunCall(*state_, false, [&](bool& result) {
    Bytes frame = MakeFrame(command::kClearFlag.code);
    Bytes reply;
    result = state_->Exchange().Exchange(ToByte(varAddr), command::kClearFlag, frame, reply);
  });
}

bool Connect_v70::ClearRecord(int16_t varAddr) {
  return Erase(*state_, varAddr, command::kClearRecord, 50);
}

bool Connect_v70::ClearNameList(int16_t varAddr) {
  return Erase(*state_, varAddr, command::kClearNameList, 20);
}

bool Connect_v70::SetStorageModel(int16_t varAddr, int16_t intMode) {
  return RunCall(*state_, false, [&](bool& result) {
    if (intMode != 1 && intMode != 2) return;
    Bytes frame = MakeFrame(command::kSetStorageModel.code, {ToByte(intMode)});
    // The terminal's answer to this command has no defined form, so none is
    // awaited: success means the whole frame went out. The frame must have
    // left the port (the next transfer discards unsent bytes), and whatever
    // the terminal answers within the settling time is discarded here, so a
    // prompt acknowledgement cannot arrive in the middle of the next
    // command's reply.
    FrameExchange exchange = state_->Exchange();
    result = exchange.SendFrame(ToByte(varAddr), frame, command::kSetStorageModel.frame_length);
    if (!result) return;
    if (exchange.serial()) state_->link.Port().Drain();
    Pause(kStorageModeSettleMs);
    exchange.DiscardReceived();
  });
}

int16_t Connect_v70::GetStorageModel(int16_t varAddr) {
  return RunCall(*state_, int16_t{-1}, [&](int16_t& result) {
    Bytes frame = MakeFrame(command::kGetStorageModel.code);
    Bytes reply;
    if (state_->Exchange().Exchange(ToByte(varAddr), command::kGetStorageModel, frame, reply) &&
        reply[2] == command::kGetStorageModel.code) {
      result = reply[3];
    }
  });
}

}  // namespace tallygate
