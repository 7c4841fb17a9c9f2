#include "collector/deliver/sink_worker.h"

#include <algorithm>
#include <utility>

#include "collector/base/log.h"
#include "collector/base/sleep.h"
#include "collector/base/time_zone.h"

namespace tallygate::collector {
namespace {

using Clock = std::chrono::steady_clock;

// How often a sink with nothing to send looks at the store without news of
// punches (news may not come: another collector on a PostgreSQL database
// without the feed's listener).
constexpr std::chrono::seconds kLookAgain{2};
// How often a stopped sink looks whether it was resumed, and a sink another
// collector delivers whether it is free.
constexpr std::chrono::seconds kStoppedLook{2};
constexpr std::chrono::seconds kClaimLook{10};
constexpr std::chrono::seconds kLongestStoreWait{60};

}  // namespace

std::chrono::seconds RetryWait(int failures, std::optional<std::chrono::seconds> retry_after) {
  std::chrono::seconds wait = kFirstBackoff;
  for (int i = 1; i < failures && wait < kLongestBackoff; ++i) wait *= 2;
  wait = std::min(wait, kLongestBackoff);
  if (retry_after) wait = std::max(wait, std::min(*retry_after, std::chrono::seconds(3600)));
  return wait;
}

SinkWorker::SinkWorker(DeliverConfig config, std::string database, PunchSignal& stored)
    : config_(std::move(config)), database_(std::move(database)), follower_(stored, 0) {}

void SinkWorker::Run(std::stop_token stop) {
  stop_ = stop;
  std::chrono::seconds store_wait = kFirstBackoff;
  while (!stop.stop_requested()) {
    try {
      Step(stop);
      store_wait = kFirstBackoff;
    } catch (const std::exception& e) {
      // The store, mostly; never the thread's end. A save that found the
      // sink's claim lost lands here too: the next step claims it again.
      Log(LogLevel::kWarning, "sink " + config_.name + ": " + e.what() + "; trying again in " +
                                  std::to_string(store_wait.count()) + " s");
      store_.reset();
      SleepUntil(Clock::now() + store_wait, stop);
      store_wait = std::min(store_wait * 2, kLongestStoreWait);
    }
  }
}

SinkState SinkWorker::LoadOrCreate() {
  if (std::optional<SinkState> state = store_->LoadSink(config_.name)) return *state;
  SinkState state;
  state.name = config_.name;
  state.position = config_.from_first ? 0 : store_->LastPunchId();
  store_->SaveSink(state);
  Log(LogLevel::kInfo, "sink " + config_.name + ": new, starting after punch " +
                           std::to_string(state.position));
  return state;
}

void SinkWorker::Step(std::stop_token stop) {
  if (!store_) store_ = OpenStore(database_);
  if (!store_->ClaimSink(config_.name)) {
    if (!others_) {
      Log(LogLevel::kInfo, "sink " + config_.name + ": delivered by another collector");
    }
    others_ = true;
    SleepUntil(Clock::now() + kClaimLook, stop);
    return;
  }
  others_ = false;
  SinkState state = LoadOrCreate();
  if (!state.stopped.empty()) {
    SleepUntil(Clock::now() + kStoppedLook, stop);
    return;
  }
  if (Clock::now() < next_try_) {
    SleepUntil(next_try_, stop);
    return;
  }
  if (const std::optional<Attempt> failed = Upkeep(*store_, *store_, state)) {
    Keep(*failed, state);
    return;
  }
  if (state.batch_last == 0) {
    const std::optional<int64_t> last = NextBatch(*store_, state.position);
    if (!last) {
      follower_.Wait(std::min(Wake(), Clock::now() + kLookAgain), stop);
      return;
    }
    state.batch_last = *last;
    Begin(state);
    store_->SaveSink(state);
  }
  Keep(Try(*store_, *store_, state), state);
}

void SinkWorker::Keep(const Attempt& attempt, SinkState& state) {
  switch (attempt.verdict) {
    case Attempt::Verdict::kDelivered:
      state.position = state.batch_last;
      state.batch_last = 0;
      state.batch_id.clear();
      state.batch_file.clear();
      state.delivered = UtcNow();
      state.last_error.clear();
      store_->SaveSink(state);
      if (failures_ > 0) Log(LogLevel::kInfo, "sink " + config_.name + ": delivering again");
      failures_ = 0;
      return;
    case Attempt::Verdict::kRetry: {
      ++failures_;
      ++state.failures;
      state.last_error = attempt.reason;
      store_->SaveSink(state);
      const std::chrono::seconds wait = RetryWait(failures_, attempt.retry_after);
      next_try_ = Clock::now() + wait;
      Log(LogLevel::kWarning, "sink " + config_.name + ": " + attempt.reason +
                                  "; trying the same batch again in " +
                                  std::to_string(wait.count()) + " s");
      return;
    }
    case Attempt::Verdict::kRefused:
      ++state.failures;
      state.last_error = attempt.reason;
      state.stopped = attempt.reason;
      state.stopped_at = UtcNow();
      store_->SaveSink(state);
      failures_ = 0;
      Log(LogLevel::kError, "sink " + config_.name + " stopped: " + attempt.reason +
                                "; after mending it, resume with: tallygate-collector deliver"
                                " retry " + config_.name);
      return;
  }
}

}  // namespace tallygate::collector
