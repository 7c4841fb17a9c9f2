#include "collector/deliver/hr_sink.h"

#include <utility>

#include "collector/base/log.h"
#include "collector/base/time_zone.h"

namespace tallygate::collector {
namespace {

// Refused punches sent again per step: the batch's share of the sink's time.
constexpr int kAgainAtOnce = 100;

// A placement that did not place nor refuse, as a try's outcome.
Attempt Failed(const Placement& placement) {
  const auto verdict = placement.verdict == Placement::Verdict::kStop ? Attempt::Verdict::kRefused
                                                                      : Attempt::Verdict::kRetry;
  return {verdict, placement.reason, placement.retry_after};
}

bool Settled(const Placement& placement) {
  return placement.verdict == Placement::Verdict::kPlaced ||
         placement.verdict == Placement::Verdict::kRefused;
}

}  // namespace

HrSink::HrSink(DeliverConfig config, std::string database, PunchSignal& stored,
               std::unique_ptr<PunchPlacer> placer)
    : SinkWorker(std::move(config), std::move(database), stored), placer_(std::move(placer)) {}

std::optional<int64_t> HrSink::NextBatch(PunchReader& punches, int64_t position) {
  return rows_.Next(follower(), punches, position, config().batch);
}

std::chrono::steady_clock::time_point HrSink::Wake() { return placer_->FollowDue(); }

Attempt HrSink::Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) {
  const std::vector<PunchRow>& rows = rows_.Of(punches, state);
  std::vector<RefusedPunch> refused;
  std::optional<Attempt> failed;
  int64_t settled = state.position;
  for (const PunchRow& row : rows) {
    const Placement placement = placer_->Place(row, stopping());
    if (!Settled(placement)) {
      failed = Failed(placement);
      break;
    }
    if (placement.verdict == Placement::Verdict::kRefused) {
      refused.push_back({row.id, placement.reason, UtcNow(), false});
    }
    settled = row.id;
  }
  // The refusals are kept before the position moves past them.
  sinks.KeepRefusals(config().name, refused);
  LogRefusals(refused);
  if (!failed) {
    caught_up_ = static_cast<int>(rows.size()) < config().batch;
    rows_.Clear();
    return {};
  }
  state.position = settled;  // what was placed stays placed; saved with the failure
  return *failed;
}

std::optional<Attempt> HrSink::Upkeep(PunchReader& punches, SinkLedger& sinks,
                                      SinkState& state) {
  if (std::optional<Attempt> failed = PlaceAgain(sinks)) return failed;
  if (!caught_up_ && std::chrono::steady_clock::now() < placer_->FollowDue()) return std::nullopt;
  caught_up_ = false;
  const SinkState before = state;
  const Placement followed = placer_->Follow(punches, state, stopping());
  if (!Settled(followed)) return Failed(followed);
  if (!(state == before)) sinks.SaveSink(state);
  return std::nullopt;
}

std::optional<Attempt> HrSink::PlaceAgain(SinkLedger& sinks) {
  const auto again = sinks.Refusals(config().name, true, kAgainAtOnce);
  if (again.empty()) return std::nullopt;
  std::vector<int64_t> placed;
  std::vector<RefusedPunch> refused;
  std::optional<Attempt> failed;
  for (const auto& [row, refusal] : again) {
    const Placement placement = placer_->Place(row, stopping());
    if (!Settled(placement)) {
      failed = Failed(placement);
      break;
    }
    if (placement.verdict == Placement::Verdict::kPlaced) {
      placed.push_back(row.id);
    } else {
      refused.push_back({row.id, placement.reason, UtcNow(), false});
    }
  }
  sinks.ForgetRefusals(config().name, placed);
  sinks.KeepRefusals(config().name, refused);
  if (!placed.empty() || !refused.empty()) {
    Log(LogLevel::kInfo, "sink " + config().name + ": of the refused punches sent again, " +
                             std::to_string(placed.size()) + " placed, " +
                             std::to_string(refused.size()) + " refused again");
  }
  return failed;
}

void HrSink::LogRefusals(const std::vector<RefusedPunch>& refused) const {
  if (refused.empty()) return;
  Log(LogLevel::kWarning,
      "sink " + config().name + ": " + std::to_string(refused.size()) +
          (refused.size() == 1 ? " punch" : " punches") + " refused (punch " +
          std::to_string(refused.front().punch) + ": " + refused.front().reason +
          "); listed by: tallygate-collector deliver status " + config().name);
}

}  // namespace tallygate::collector
