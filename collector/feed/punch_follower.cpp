#include "collector/feed/punch_follower.h"

#include "collector/base/sleep.h"

namespace tallygate::collector {

PunchFollower::PunchFollower(PunchSignal& stored, int64_t position)
    : stored_(stored), position_(position) {}

std::vector<PunchRow> PunchFollower::Next(PunchReader& reader, int limit) {
  seen_ = stored_.Count();  // before the read: news of a commit after it wakes Wait
  std::vector<PunchRow> rows = reader.PunchesAfter(position_, limit);
  if (!rows.empty()) position_ = rows.back().id;
  return rows;
}

int64_t PunchFollower::Newest(PunchReader& reader) {
  seen_ = stored_.Count();
  return reader.LastPunchId();
}

void PunchFollower::Wait(std::chrono::steady_clock::time_point until, std::stop_token stop) {
  if (!stored_.Stopped()) {
    stored_.WaitPast(seen_, until, stop);
    return;
  }
  SleepUntil(until, stop);
}

void ForEachPunchUpTo(PunchReader& reader, int64_t after, int64_t last, int page,
                      const std::function<void(const PunchRow&)>& row) {
  while (after < last) {
    const std::vector<PunchRow> rows = reader.PunchesAfter(after, page);
    for (const PunchRow& each : rows) {
      if (each.id > last) return;
      row(each);
    }
    if (rows.empty()) return;
    after = rows.back().id;
  }
}

}  // namespace tallygate::collector
