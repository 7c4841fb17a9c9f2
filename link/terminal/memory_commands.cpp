// Memory maintenance and storage mode: flag, address change, record and
// card-list erasure, storage mode.
#include "link/terminal/commands.h"

namespace tallygate::commands {
namespace {

// How long a storage-mode change waits for an acknowledgement to discard.
constexpr int kStorageModeSettleMs = 100;

// Erase commands: a reply that echoes the command, then a pause that gives
// the terminal time to finish erasing before the next command.
Status Erase(FrameExchange& exchange, uint8_t address, const CommandSpec& spec, int pause_ms,
             Wait wait) {
  Bytes frame = MakeFrame(spec.code);
  Bytes reply;
  Status status = exchange.Exchange(address, spec, frame, reply, wait);
  if (!status) {
    Pause(pause_ms);
    return status;
  }
  if (Status echo = CheckEcho(reply, spec, address); !echo) return echo;
  Pause(pause_ms);
  return {};
}

}  // namespace

Status ClearFlag(FrameExchange& exchange, uint8_t address, Wait wait) {
  Bytes frame = MakeFrame(command::kClearFlag.code);
  Bytes reply;
  return exchange.Exchange(address, command::kClearFlag, frame, reply, wait);
}

Status ClearRecords(FrameExchange& exchange, uint8_t address, Wait wait) {
  return Erase(exchange, address, command::kClearRecord, 50, wait);
}

Status ClearCardList(FrameExchange& exchange, uint8_t address, Wait wait) {
  return Erase(exchange, address, command::kClearNameList, 20, wait);
}

Status ChangeAddress(FrameExchange& exchange, uint8_t address, uint8_t new_address, Wait wait) {
  Bytes frame = MakeFrame(command::kRepairAddress.code, {0x55, new_address});
  Bytes reply;
  // The answer comes from the new address, so byte 0 is not compared.
  return exchange.Exchange(address, command::kRepairAddress, frame, reply, wait);
}

Status SetStorageMode(FrameExchange& exchange, uint8_t address, uint8_t mode) {
  if (mode != 1 && mode != 2) {
    return TerminalError(ErrorCode::kInvalidArgument, address,
                         "storage mode " + std::to_string(mode) + " (1 or 2)");
  }
  Bytes frame = MakeFrame(command::kSetStorageModel.code, {mode});
  // The terminal's answer to this command has no defined form, so none is
  // awaited: success means the whole frame went out. The frame must have
  // left the port (the next transfer discards unsent bytes), and whatever
  // the terminal answers within the settling time is discarded here, so a
  // prompt acknowledgement cannot arrive in the middle of the next
  // command's reply.
  if (Status sent = exchange.SendFrame(address, frame, command::kSetStorageModel.frame_length);
      !sent) {
    return sent;
  }
  if (Status drained = exchange.transport().Drain(); !drained) {
    return TerminalError(drained.error().code(), address, drained.error().message());
  }
  Pause(kStorageModeSettleMs);
  exchange.transport().DiscardInput();
  return {};
}

Result<uint8_t> StorageMode(FrameExchange& exchange, uint8_t address, Wait wait) {
  Bytes frame = MakeFrame(command::kGetStorageModel.code);
  Bytes reply;
  if (Status status = exchange.ExchangeEchoed(address, command::kGetStorageModel, frame, reply, wait);
      !status) {
    return status.error();
  }
  return reply[3];
}

Result<int32_t> Count(FrameExchange& exchange, uint8_t address, const CommandSpec& spec,
                      Wait wait) {
  Bytes frame = MakeFrame(spec.code, {0});
  Bytes reply;
  if (Status status = exchange.ExchangeEchoed(address, spec, frame, reply, wait); !status) {
    return status.error();
  }
  // The count is a signed 16-bit value on the terminal's side; a high byte of
  // 0x80 or more cannot be a count, and taking it for 0 would tell the caller
  // the terminal is empty.
  if (reply[3] >= 0x80) {
    return TerminalError(ErrorCode::kBadReply, address,
                         "count with high byte " + std::to_string(reply[3]) + " (at most 127)");
  }
  return reply[3] * 256 + reply[4];
}

}  // namespace tallygate::commands
