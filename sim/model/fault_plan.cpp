#include "sim/model/fault_plan.h"

#include <utility>

namespace tallygate::sim {
namespace {

bool Targets(const FaultTarget& target, const ReceivedFrame& frame) {
  if (!target.commands.test(frame.command())) return false;
  if (target.address && *target.address != frame.address) return false;
  if (target.page && *target.page != frame.param(0)) return false;
  return true;
}

}  // namespace

void FaultPlan::Add(FaultRule rule) { entries_.push_back({std::move(rule), 0}); }

std::vector<std::string> FaultPlan::Describe() const {
  std::vector<std::string> lines;
  for (const Entry& entry : entries_) {
    lines.push_back(entry.rule.text + " (seen " + std::to_string(entry.seen) + ")");
  }
  return lines;
}

std::vector<FaultAction> FaultPlan::Select(const ReceivedFrame& frame) {
  std::vector<FaultAction> actions;
  for (Entry& entry : entries_) {
    if (!Targets(entry.rule.target, frame)) continue;
    const uint64_t occurrence = ++entry.seen;
    if (occurrence < entry.rule.when.first || occurrence > entry.rule.when.last) continue;
    actions.push_back({entry.rule.kind, entry.rule.value, entry.rule.target.unit, entry.rule.text});
  }
  return actions;
}

}  // namespace tallygate::sim
