#include "collector/poll/fleet_share.h"

#include <unistd.h>

#include <algorithm>

#include "collector/base/log.h"
#include "collector/poll/share_plan.h"

namespace tallygate::collector {

std::string CollectorName() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return std::string(host) + ":" + std::to_string(getpid());
}

FleetShare::FleetShare(std::vector<std::vector<std::string>> units) : units_(std::move(units)) {
  // The same units in any order, their terminals in any order, are the
  // same fleet; a unit is known by its first terminal by name.
  for (std::vector<std::string>& unit : units_) std::sort(unit.begin(), unit.end());
  std::vector<std::string> texts;
  for (const std::vector<std::string>& unit : units_) {
    std::string text;
    for (const std::string& terminal : unit) {
      text += (text.empty() ? "" : ",") + terminal;
      terminals_.push_back(terminal);
    }
    texts.push_back(std::move(text));
  }
  std::sort(texts.begin(), texts.end());
  for (const std::string& text : texts) fleet_ += text + "\n";
  free_rounds_.assign(units_.size(), 0);
}

std::chrono::milliseconds FleetShare::Period(std::chrono::seconds interval) {
  // Capped before it becomes milliseconds: a fleet with no terminal has no
  // shortest interval (seconds::max()), which milliseconds cannot hold.
  const std::chrono::milliseconds capped = std::min(interval, std::chrono::seconds(20));
  return std::max<std::chrono::milliseconds>(capped / 4, std::chrono::milliseconds(250));
}

bool FleetShare::Take(PollLedger& store, size_t unit) {
  const std::vector<std::string>& terminals = units_[unit];
  for (size_t i = 0; i < terminals.size(); ++i) {
    if (store.ClaimTerminal(terminals[i])) continue;
    // A bus is polled whole or not at all.
    while (i-- > 0) store.ReleaseTerminal(terminals[i]);
    return false;
  }
  return true;
}

std::optional<FleetShare::Moves> FleetShare::Round(PollLedger& store) {
  Moves moves;
  try {
    if (!joined_) {
      if (!store.JoinCollectors(CollectorName(), fleet_)) {
        moves.alone = true;
        return moves;
      }
      joined_ = true;
    }
    const CollectorClaims claims = store.Claims(terminals_);
    ShareRound round{claims.me, claims.collectors, {}, free_rounds_};
    for (size_t unit = 0; unit < units_.size(); ++unit) {
      const auto holder = claims.holders.find(units_[unit].front());
      if (holder == claims.holders.end()) {
        round.holders.emplace_back();
      } else {
        round.holders.emplace_back(holder->second);
        if (holder->second == claims.me) moves.mine.push_back(unit);
      }
    }
    moves.first = !adopted_;
    const SharePlan plan = PlanShare(round);
    moves.release = plan.release;
    for (size_t unit = 0; unit < units_.size(); ++unit) {
      free_rounds_[unit] = round.holders[unit] ? 0 : free_rounds_[unit] + 1;
    }
    for (size_t unit : plan.take) {
      if (moves.taken.size() >= plan.wanted) break;
      if (!Take(store, unit)) continue;
      moves.taken.push_back(unit);
      free_rounds_[unit] = 0;
    }
    if (said_ != std::pair(round.collectors.size(), plan.share)) {
      said_ = {round.collectors.size(), plan.share};
      Log(LogLevel::kInfo, std::to_string(said_.first) + " collectors share the fleet: " +
                               std::to_string(plan.share) + " of its " +
                               std::to_string(plan.units) + " terminals and buses are polled here");
    }
  } catch (const StoreError& e) {
    if (!failing_) Log(LogLevel::kError, std::string("sharing the fleet: ") + e.what());
    failing_ = true;
    // What it took before the failure is its own all the same.
    if (moves.taken.empty()) return std::nullopt;
    moves.release.clear();
    adopted_ = true;
    return moves;
  }
  if (failing_) Log(LogLevel::kInfo, "sharing the fleet again");
  failing_ = false;
  adopted_ = true;
  return moves;
}

}  // namespace tallygate::collector
