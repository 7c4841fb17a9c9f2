#include "tools/tallygate/record_tally.h"

#include <algorithm>
#include <cmath>

#include "tallygate/terminal.h"

namespace tallygate::cli {
namespace {

// The puts come from the library as numbers of any size; a count beyond
// this is not a terminal's.
int64_t Whole(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int64_t>(std::clamp(value, -1e15, 1e15));
}

// Positions a terminal can hold.
int64_t MostPositions() { return int64_t{kMostPages} * kPagePositions; }

}  // namespace

bool RecordTally::Put(std::string_view property, double value) {
  if (property == "Max") {
    started_ = true;
    awaiting_reset_ = true;
    max_ = Whole(value);
    stored_ = 0;
    seen_.assign(static_cast<size_t>(std::clamp<int64_t>(max_, 0, MostPositions())), false);
  } else if (property == "Min") {
    min_ = Whole(value);
  } else if (property == "Value") {
    if (!started_) return false;
    if (awaiting_reset_) {
      awaiting_reset_ = false;
    } else {
      const int64_t position = Whole(value) - min_;
      stored_ = std::max(stored_, position + 1);
      if (position >= 0 && position < static_cast<int64_t>(seen_.size())) {
        seen_[static_cast<size_t>(position)] = true;
      }
    }
  } else {
    return false;
  }
  return started_;
}

int64_t RecordTally::total() const { return std::max<int64_t>(0, max_ - min_ - 1); }

int32_t RecordTally::RecordsIn(int32_t page) const {
  const int64_t first = (int64_t{page} - 1) * kPagePositions;
  const int64_t end = std::min<int64_t>(first + kPagePositions, static_cast<int64_t>(seen_.size()));
  int32_t records = 0;
  for (int64_t position = std::max<int64_t>(first, 0); position < end; ++position) {
    if (seen_[static_cast<size_t>(position)]) ++records;
  }
  return records;
}

}  // namespace tallygate::cli
