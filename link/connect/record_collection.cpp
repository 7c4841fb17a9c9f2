// Attendance record collection: every record of a terminal into a text file.
#include "link/connect/collected_lines.h"
#include "link/connect/collection_steps.h"
#include "link/protocol/record_line.h"

namespace tallygate {

bool Connect_v70::GatherData(int16_t varAddr, const std::string& VarFilePath,
                             const std::string& VarFileName, std::string& VarDescription,
                             int32_t& BackRecordSum, int32_t SleepDate, int32_t phStrCardFlg,
                             bool IsFullYear, ProgressObject* objProBar) {
  return RunCollection(*state_, VarFilePath, VarDescription, BackRecordSum, [&] {
    const std::string century = CurrentCentury();
    // The collected file keeps every unit that came at its place in the
    // stream, as it always has; the terminal API keeps only certain ones
    // (page_fetch.cpp).
    const PagePlan plan = RecordPagePlan(static_cast<float>(SleepDate), false);
    auto line = [&](std::span<const uint8_t> unit) {
      return RecordLine(varAddr, unit, phStrCardFlg != 0, IsFullYear, century);
    };
    StoredPosition stored;
    if (objProBar != nullptr) {
      stored = [&](int32_t position) { objProBar->PutProperty("Value", position); };
    }
    auto started = [&](int32_t count) {
      if (objProBar == nullptr) return;
      objProBar->PutProperty("Max", count + 1);
      objProBar->PutProperty("Min", 0);
      objProBar->PutProperty("Value", 0);
    };
    return CollectToFile(*state_, varAddr, command::kRecordPages,
                         CollectionFile(VarFilePath, VarFileName), plan, line, stored, started,
                         VarDescription, BackRecordSum);
  });
}

}  // namespace tallygate
