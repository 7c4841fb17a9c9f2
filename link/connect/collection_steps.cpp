#include "link/connect/collection_steps.h"

#include "link/connect/record_counts.h"

namespace tallygate {

bool CollectToFile(Connect_v70::State& state, int16_t varAddr, const CommandSpec& count_spec,
                   const std::filesystem::path& file, const PagePlan& plan,
                   const UnitLine& line, const CollectionProgress& progress,
                   std::string& VarDescription, int32_t& BackRecordSum) {
  int32_t count = 0;
  std::string holder = "ok";
  bool counted = false;
  try {
    counted = QueryCount(state, varAddr, count_spec, count, &holder);
  } catch (const BasicError&) {
    counted = false;
  }
  if (!counted) return false;
  if (progress.started) progress.started(count);

  const uint8_t address = ToByte(varAddr);
  CallLine call_line(state);
  const CollectedLines collected =
      CollectPages(call_line.exchange(), address, count, plan, line, progress.stored,
                   progress.on_page);
  if (!collected.Complete()) VarDescription = kPartLost;
  if (collected.highest_stored >= 0) WriteCollectedFile(file, collected, BackRecordSum);
  return true;
}

}  // namespace tallygate
