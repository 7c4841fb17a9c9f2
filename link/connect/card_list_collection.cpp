// Card-list collection: a terminal's enrolled cards into a text file.
#include "link/connect/collected_lines.h"
#include "link/connect/collection_steps.h"

namespace tallygate {

bool Connect_v70::GatherSendCardData(int16_t varAddr, const std::string& VarFilePath,
                                     const std::string& VarFileName, std::string& VarDescription,
                                     int32_t& BackRecordSum, int32_t SleepDate,
                                     int32_t phStrCardFlg) {
  return RunCollection(*state_, VarFilePath, VarDescription, BackRecordSum, [&] {
    const int16_t locale_class = state_->locale_class;
    PagePlan plan = CardPagePlan(static_cast<float>(SleepDate), false);
    plan.retry_missing_only = false;
    auto line = [&](std::span<const uint8_t> unit) {
      return CardLine(unit, phStrCardFlg != 0, locale_class);
    };
    return CollectToFile(*state_, varAddr, command::kCardPages,
                         CollectionFile(VarFilePath, VarFileName), plan, line, {},
                         VarDescription, BackRecordSum);
  });
}

}  // namespace tallygate
