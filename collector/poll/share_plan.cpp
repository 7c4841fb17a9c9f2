#include "collector/poll/share_plan.h"

#include <algorithm>
#include <map>

namespace tallygate::collector {

SharePlan PlanShare(const ShareRound& round) {
  std::map<std::string, size_t> load;  // by id
  for (const std::string& id : round.collectors) load[id] = 0;
  load[round.me];  // alive, whatever the store's list says
  SharePlan plan;
  std::vector<size_t> free, mine;
  for (size_t unit = 0; unit < round.holders.size(); ++unit) {
    const std::optional<std::string>& holder = round.holders[unit];
    if (!holder) {
      free.push_back(unit);
      ++plan.units;
      continue;
    }
    const auto sharing = load.find(*holder);
    if (sharing == load.end()) continue;  // outside the share
    ++sharing->second;
    ++plan.units;
    if (*holder == round.me) mine.push_back(unit);
  }

  // The most loaded first (ties: the lower id): they keep the extra units.
  std::vector<std::pair<std::string, size_t>> ranked(load.begin(), load.end());
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  const size_t shared_by = ranked.size();
  std::vector<size_t> shares;
  size_t lacking = 0;  // what those below their share lack
  for (size_t i = 0; i < shared_by; ++i) {
    shares.push_back(plan.units / shared_by + (i < plan.units % shared_by ? 1 : 0));
    if (ranked[i].second < shares[i]) lacking += shares[i] - ranked[i].second;
    if (ranked[i].first == round.me) plan.share = shares[i];
  }

  // Free units cover what they can; the rest is given up by those above
  // their share, the most loaded first.
  size_t short_by = lacking > free.size() ? lacking - free.size() : 0;
  for (size_t i = 0; i < shared_by && short_by > 0; ++i) {
    if (ranked[i].second <= shares[i]) continue;
    const size_t give = std::min(ranked[i].second - shares[i], short_by);
    short_by -= give;
    if (ranked[i].first == round.me) plan.release.assign(mine.end() - give, mine.end());
  }

  const size_t held = load[round.me];
  size_t overdue = 0;
  for (size_t unit : free) {
    if (round.free_rounds[unit] >= 2) {
      plan.take.push_back(unit);
      ++overdue;
    }
  }
  for (size_t unit : free) {
    if (round.free_rounds[unit] < 2) plan.take.push_back(unit);
  }
  plan.wanted = std::max(held < plan.share ? plan.share - held : 0, overdue);
  return plan;
}

}  // namespace tallygate::collector
