// The fault rules in force and how many frames each has seen.
//
// Every frame that a terminal of the simulator handles is counted by every
// rule whose target it matches (command, address, page); a rule fires on the
// occurrences its WHEN names. A rule's count starts at 0 when it is added,
// so `next` always means the next matching frame from then on. Rules are
// kept, spent or not, until Clear.
//
// A P% rule draws once for each matching frame from a generator of its own,
// seeded by the plan's seed and the rule's place among the rules ever
// added: whether its Nth matching frame is hit depends on nothing else, so
// a run with the same seed and the same frames is hit the same way.
#ifndef TALLYGATE_SIM_MODEL_FAULT_PLAN_H_
#define TALLYGATE_SIM_MODEL_FAULT_PLAN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/fault_rule.h"
#include "sim/model/received_frame.h"

namespace tallygate::sim {

// One fault that a reply is to get.
struct FaultAction {
  FaultKind kind = FaultKind::kDrop;
  std::optional<int> value;
  std::optional<int> unit;  // none: the whole reply
  std::string rule;         // the rule's text, for the log
};

class FaultPlan {
 public:
  explicit FaultPlan(uint32_t seed = 1) : seed_(seed) {}

  void Add(FaultRule rule);
  void Clear() { entries_.clear(); }
  size_t size() const { return entries_.size(); }

  // Each rule as "TEXT (seen N)", a P% rule as "TEXT (seen N, hit H)", in
  // the order added.
  std::vector<std::string> Describe() const;

  // Counts `frame`, which a terminal of the simulator is handling, against
  // every rule and returns the faults its reply gets, in rule order.
  std::vector<FaultAction> Select(const ReceivedFrame& frame);

 private:
  struct Entry {
    FaultRule rule;
    uint64_t seen = 0;
    uint64_t hits = 0;
    uint64_t draws = 0;  // the P% generator's state
  };
  // Whether a frame in the range of `entry`'s WHEN is hit.
  static bool Hits(Entry& entry);

  uint32_t seed_;
  uint64_t added_ = 0;  // rules ever added, Clear or not
  std::vector<Entry> entries_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_FAULT_PLAN_H_
