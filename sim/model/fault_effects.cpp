#include "sim/model/fault_effects.h"

#include <algorithm>
#include <optional>

namespace tallygate::sim {
namespace {

using std::chrono::milliseconds;

struct UnitPlan {
  Bytes bytes;
  milliseconds pause{0};
  bool dropped = false;
  bool close_before = false;
  size_t extra = 0;
};

struct WholePlan {
  milliseconds pause{0};
  bool drop = false;
  std::optional<size_t> keep;
  size_t extra = 0;
  bool close = false;
};

void Reseal(Bytes& unit) {
  if (unit.size() >= 2) unit.back() = XorOf(std::span<const uint8_t>(unit).first(unit.size() - 1));
}

uint8_t Replacement(const FaultAction& action, uint8_t original) {
  return action.value ? static_cast<uint8_t>(*action.value) : static_cast<uint8_t>(~original);
}

// Wrong bytes that keep the check right come before a wrong check byte, so
// that re-sealing never repairs a bad-check fault.
void Spoil(Bytes& unit, const FaultAction& action, bool reseal_pass) {
  if (unit.empty()) return;
  if (reseal_pass && action.kind == FaultKind::kWrongAddress) {
    unit[0] = Replacement(action, unit[0]);
    Reseal(unit);
  } else if (reseal_pass && action.kind == FaultKind::kWrongEcho && unit.size() > 3) {
    unit[2] = Replacement(action, unit[2]);
    Reseal(unit);
  } else if (!reseal_pass && action.kind == FaultKind::kBadCheck) {
    unit.back() ^= 0xFF;
  }
}

void Plan(const FaultAction& action, UnitPlan& unit) {
  const auto value = static_cast<size_t>(action.value.value_or(0));
  switch (action.kind) {
    case FaultKind::kDrop: unit.dropped = true; break;
    case FaultKind::kShort: unit.bytes.resize(std::min(unit.bytes.size(), value)); break;
    case FaultKind::kExtra: unit.extra += value; break;
    case FaultKind::kDelay: unit.pause += milliseconds(value); break;
    case FaultKind::kClose: unit.close_before = true; break;
    default: break;
  }
}

void Plan(const FaultAction& action, WholePlan& whole) {
  const auto value = static_cast<size_t>(action.value.value_or(0));
  switch (action.kind) {
    case FaultKind::kDrop: whole.drop = true; break;
    case FaultKind::kShort: whole.keep = std::min(whole.keep.value_or(value), value); break;
    case FaultKind::kExtra: whole.extra += value; break;
    case FaultKind::kDelay: whole.pause += milliseconds(value); break;
    case FaultKind::kClose: whole.close = true; break;
    default: break;
  }
}

void KeepFirst(std::vector<Segment>& segments, size_t keep) {
  for (Segment& segment : segments) {
    const size_t take = std::min(keep, segment.bytes.size());
    segment.bytes.resize(take);
    keep -= take;
  }
  std::erase_if(segments, [](const Segment& s) { return s.bytes.empty(); });
}

}  // namespace

Bytes Transmission::Joined() const {
  Bytes all;
  for (const Segment& segment : segments) all.insert(all.end(), segment.bytes.begin(), segment.bytes.end());
  return all;
}

milliseconds Transmission::TotalPause() const {
  milliseconds total{0};
  for (const Segment& segment : segments) total += segment.pause;
  return total;
}

Transmission ApplyFaults(const Reply& reply, std::span<const FaultAction> faults) {
  std::vector<UnitPlan> units;
  for (const Bytes& bytes : reply.units) units.push_back({bytes});
  WholePlan whole;

  for (bool reseal_pass : {true, false}) {
    for (const FaultAction& action : faults) {
      if (action.unit) {
        if (static_cast<size_t>(*action.unit) < units.size()) {
          Spoil(units[static_cast<size_t>(*action.unit)].bytes, action, reseal_pass);
        }
      } else {
        for (UnitPlan& unit : units) Spoil(unit.bytes, action, reseal_pass);
      }
    }
  }
  for (const FaultAction& action : faults) {
    if (!action.unit) {
      Plan(action, whole);
    } else if (static_cast<size_t>(*action.unit) < units.size()) {
      Plan(action, units[static_cast<size_t>(*action.unit)]);
    }
  }

  Transmission out;
  if (whole.close) {
    out.close = true;
    return out;
  }
  if (units.empty() || whole.drop) return out;

  for (UnitPlan& unit : units) {
    if (unit.close_before) {
      out.close = true;
      break;
    }
    if (unit.dropped) continue;
    unit.bytes.insert(unit.bytes.end(), unit.extra, kGarbageByte);
    out.segments.push_back({unit.pause, std::move(unit.bytes)});
  }
  std::erase_if(out.segments, [](const Segment& s) { return s.bytes.empty(); });
  if (whole.keep) KeepFirst(out.segments, *whole.keep);
  if (whole.extra > 0) {
    if (out.segments.empty()) out.segments.push_back({});
    out.segments.back().bytes.insert(out.segments.back().bytes.end(), whole.extra, kGarbageByte);
  }
  if (!out.segments.empty()) out.segments.front().pause += whole.pause;
  return out;
}

}  // namespace tallygate::sim
