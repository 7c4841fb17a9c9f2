// The fault rules in force and how many frames each has seen.
//
// Every frame that a terminal of the simulator handles is counted by every
// rule whose target it matches (command, address, page); a rule fires on the
// occurrences its WHEN names. A rule's count starts at 0 when it is added,
// so `next` always means the next matching frame from then on. Rules are
// kept, spent or not, until Clear.
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
  void Add(FaultRule rule);
  void Clear() { entries_.clear(); }
  size_t size() const { return entries_.size(); }

  // Each rule as "TEXT (seen N)", in the order added.
  std::vector<std::string> Describe() const;

  // Counts `frame`, which a terminal of the simulator is handling, against
  // every rule and returns the faults its reply gets, in rule order.
  std::vector<FaultAction> Select(const ReceivedFrame& frame);

 private:
  struct Entry {
    FaultRule rule;
    uint64_t seen = 0;
  };
  std::vector<Entry> entries_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_FAULT_PLAN_H_
