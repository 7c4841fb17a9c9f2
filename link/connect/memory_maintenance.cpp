// Memory maintenance and storage mode: address change, flag, record and
// card-list erasure, storage mode.
#include "link/connect/connect_v70_state.h"

namespace tallygate {

bool Connect_v70::RepairAddress(int16_t varAddr, int16_t NewAddress) {
  return RunCall(*state_, false, [&](bool& result) {
    const uint8_t new_address = ToByte(NewAddress);
    CallLine line(*state_);
    result = commands::ChangeAddress(line.exchange(), ToByte(varAddr), new_address).ok();
  });
}

bool Connect_v70::ClearFlag(int16_t varAddr) {
  return RunCall(*state_, false, [&](bool& result) {
    CallLine line(*state_);
    result = commands::ClearFlag(line.exchange(), ToByte(varAddr)).ok();
  });
}

bool Connect_v70::ClearRecord(int16_t varAddr) {
  return RunCall(*state_, false, [&](bool& result) {
    CallLine line(*state_);
    result = commands::ClearRecords(line.exchange(), ToByte(varAddr)).ok();
  });
}

bool Connect_v70::ClearNameList(int16_t varAddr) {
  return RunCall(*state_, false, [&](bool& result) {
    CallLine line(*state_);
    result = commands::ClearCardList(line.exchange(), ToByte(varAddr)).ok();
  });
}

bool Connect_v70::SetStorageModel(int16_t varAddr, int16_t intMode) {
  return RunCall(*state_, false, [&](bool& result) {
    if (intMode != 1 && intMode != 2) return;
    const uint8_t mode = ToByte(intMode);
    CallLine line(*state_);
    result = commands::SetStorageMode(line.exchange(), ToByte(varAddr), mode).ok();
  });
}

int16_t Connect_v70::GetStorageModel(int16_t varAddr) {
  return RunCall(*state_, int16_t{-1}, [&](int16_t& result) {
    CallLine line(*state_);
    const Result<uint8_t> mode = commands::StorageMode(line.exchange(), ToByte(varAddr));
    if (mode) result = *mode;
  });
}

}  // namespace tallygate
