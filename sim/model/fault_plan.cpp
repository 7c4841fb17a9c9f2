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

// SplitMix64: eight bytes of state, well mixed even from neighbouring seeds,
// and the same on every machine.
uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

void FaultPlan::Add(FaultRule rule) {
  uint64_t mixed = seed_;
  const uint64_t draws = SplitMix(mixed) ^ added_++;
  entries_.push_back({std::move(rule), 0, 0, draws});
}

bool FaultPlan::Hits(Entry& entry) {
  if (!entry.rule.when.chance) return true;
  // The top 53 bits as a fraction in [0, 1): exact in a double.
  const double draw = static_cast<double>(SplitMix(entry.draws) >> 11) * 0x1.0p-53;
  return draw < *entry.rule.when.chance;
}

std::vector<std::string> FaultPlan::Describe() const {
  std::vector<std::string> lines;
  for (const Entry& entry : entries_) {
    std::string line = entry.rule.text + " (seen " + std::to_string(entry.seen);
    if (entry.rule.when.chance) line += ", hit " + std::to_string(entry.hits);
    lines.push_back(line + ")");
  }
  return lines;
}

std::vector<FaultAction> FaultPlan::Select(const ReceivedFrame& frame) {
  std::vector<FaultAction> actions;
  for (Entry& entry : entries_) {
    if (!Targets(entry.rule.target, frame)) continue;
    const uint64_t occurrence = ++entry.seen;
    if (occurrence < entry.rule.when.first || occurrence > entry.rule.when.last) continue;
    if (!Hits(entry)) continue;
    ++entry.hits;
    actions.push_back({entry.rule.kind, entry.rule.value, entry.rule.target.unit, entry.rule.text});
  }
  return actions;
}

}  // namespace tallygate::sim
