#include "collector/deliver/batch_rows.h"

namespace tallygate::collector {

std::optional<int64_t> BatchRows::Next(PunchFollower& follower, PunchReader& punches,
                                       int64_t position, int limit) {
  follower.MoveTo(position);
  rows_ = follower.Next(punches, limit);
  if (rows_.empty()) return std::nullopt;
  return rows_.back().id;
}

const std::vector<PunchRow>& BatchRows::Of(PunchReader& punches, const SinkState& state) {
  if (rows_.empty() || rows_.front().id <= state.position ||
      rows_.back().id != state.batch_last) {
    rows_.clear();
    ForEachPunchUpTo(punches, state.position, state.batch_last, kMostBatch,
                     [&](const PunchRow& row) { rows_.push_back(row); });
  }
  return rows_;
}

}  // namespace tallygate::collector
