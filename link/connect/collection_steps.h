// The steps the record and card-list collections share.
#ifndef TALLYGATE_LINK_CONNECT_COLLECTION_STEPS_H_
#define TALLYGATE_LINK_CONNECT_COLLECTION_STEPS_H_

#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include "link/connect/paged_collection.h"
#include "link/connect/connect_v70_state.h"

namespace tallygate {

inline constexpr const char* kFolderMissing = "File path no exist!";
inline constexpr const char* kPartLost = "Net Err,Part data lose";

// Runs a collection call: refuses a call made during another call's wait,
// tests the folder first (outside the call's failure handling, so a path
// that cannot be looked up reaches the caller as an error), resets the
// outputs, and turns a failure inside `collect` into false with the
// failure's description.
template <typename Collect>
bool RunCollection(Connect_v70::State& state, const std::string& folder,
                   std::string& VarDescription, int32_t& BackRecordSum, Collect&& collect) {
  ThreadLink::CallScope scope(state.link);
  if (!scope.entered()) return false;
  if (!CollectionFolderExists(folder)) {
    VarDescription = kFolderMissing;
    return false;
  }
  BackRecordSum = 0;
  VarDescription.clear();
  try {
    return collect();
  } catch (const BasicError& error) {
    VarDescription = error.description();
  } catch (const std::bad_alloc&) {
    VarDescription = std::string(StandardDescription(err::kOutOfMemory));
  }
  return false;
}

// What a collection reports as it goes; each may be empty, and each may
// throw to end the collection.
struct CollectionProgress {
  std::function<void(int32_t count)> started;  // the count, before any page
  StoredPosition stored;                       // each unit as it arrives
  PageHook on_page;                            // each attempt at a page, each page done
};

// Asks for the count (false when that fails: nothing is described), reports
// it, collects the pages and writes the file. Sets "Net Err,Part data lose"
// when the file lacks any entry of the count.
bool CollectToFile(Connect_v70::State& state, int16_t varAddr, const CommandSpec& count_spec,
                   const std::filesystem::path& file, const PagePlan& plan,
                   const UnitLine& line, const CollectionProgress& progress,
                   std::string& VarDescription, int32_t& BackRecordSum);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_COLLECTION_STEPS_H_
