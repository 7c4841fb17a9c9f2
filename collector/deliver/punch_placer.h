// What a sink into an HR system does with each punch: place it (an
// ERPNext check-in, an Odoo attendance) so that placing it again, after a
// crash or a retry, changes nothing more.
#ifndef TALLYGATE_COLLECTOR_DELIVER_PUNCH_PLACER_H_
#define TALLYGATE_COLLECTOR_DELIVER_PUNCH_PLACER_H_

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>

#include "collector/base/sink.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

// How placing a punch (or an HR sink's upkeep) ended.
struct Placement {
  enum class Verdict {
    kPlaced,   // in the HR system, now or before
    kRefused,  // this punch cannot be placed (no such employee ...): kept as refused
    kRetry,    // no answer, or a passing failure: the same punch again later
    kStop,     // a failure of every punch (authentication ...): the sink stops
  };
  Verdict verdict = Verdict::kPlaced;
  std::string reason;  // the HR system's answer, or why there was none
  std::optional<std::chrono::seconds> retry_after;
};

class PunchPlacer {
 public:
  virtual ~PunchPlacer() = default;
  virtual Placement Place(const PunchRow& row, std::stop_token stop) = 0;
  // Upkeep after punches were placed, or while none come; `state` is the
  // sink's, saved by the caller when this returns kPlaced and changed it.
  virtual Placement Follow(PunchReader& punches, SinkState& state, std::stop_token stop) {
    (void)punches, (void)state, (void)stop;
    return {};
  }
  // When Follow is due next (time_point::max(): never).
  virtual std::chrono::steady_clock::time_point FollowDue() const {
    return std::chrono::steady_clock::time_point::max();
  }
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_PUNCH_PLACER_H_
