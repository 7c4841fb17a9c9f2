// The share plan played out: collectors joining, dying and racing each
// other reach counts within one of each other, and then nothing moves.
#include "collector/poll/share_plan.h"
#include "collector/poll/fleet_share.h"

#include <gtest/gtest.h>

#include <map>

namespace tallygate::collector {
namespace {

using Holders = std::vector<std::optional<std::string>>;

// Rounds of `alive` until a step moves nothing (at most 20 steps). At each
// step every collector plans from the same picture when `together` (as
// collectors whose rounds overlap), else from the picture its predecessor
// left. Returns the units held by each, and counts the units that changed
// hands (given up, then taken) in `moves`.
std::map<std::string, int> Settle(Holders& holders, const std::vector<std::string>& alive,
                                  bool together, int& moves) {
  std::vector<int> free_rounds(holders.size(), 0);
  for (int step = 0; step < 20; ++step) {
    bool moved = false;
    const Holders seen = holders;
    for (const std::string& me : alive) {
      const SharePlan plan = PlanShare({me, alive, together ? seen : holders, free_rounds});
      for (size_t unit : plan.release) holders[unit].reset();
      size_t taken = 0;
      for (size_t unit : plan.take) {
        if (taken == plan.wanted || holders[unit]) continue;  // a race lost
        holders[unit] = me;
        ++taken;
      }
      moves += static_cast<int>(taken);
      moved |= taken > 0 || !plan.release.empty();
    }
    for (size_t unit = 0; unit < holders.size(); ++unit) {
      free_rounds[unit] = holders[unit] ? 0 : free_rounds[unit] + 1;
    }
    if (!moved) break;
  }
  std::map<std::string, int> counts;
  for (const auto& holder : holders) ++counts[holder.value_or("(free)")];
  return counts;
}

Holders Held(const std::vector<std::pair<std::string, int>>& runs) {
  Holders holders;
  for (const auto& [holder, count] : runs) {
    holders.insert(holders.end(), count,
                   holder == "-" ? std::nullopt : std::optional<std::string>(holder));
  }
  return holders;
}

TEST(SharePlan, CollectorsJoiningAndLeavingSettleEvenWithEachUnitMovedOnce) {
  using Counts = std::map<std::string, int>;
  struct Case {
    const char* what;
    Holders holders;
    std::vector<std::string> alive;
    Counts settled;
    int moves;  // the fewest that reach it
  } cases[] = {
      {"two join one that holds all", Held({{"a", 60}}), {"a", "b", "c"},
       {{"a", 20}, {"b", 20}, {"c", 20}}, 40},
      {"one joins two", Held({{"a", 30}, {"b", 30}}), {"a", "b", "c"},
       {{"a", 20}, {"b", 20}, {"c", 20}}, 20},
      {"one of three dies", Held({{"-", 20}, {"b", 20}, {"c", 20}}), {"b", "c"},
       {{"b", 30}, {"c", 30}}, 20},
      {"an uneven fleet", Held({{"a", 22}, {"b", 19}, {"c", 20}}), {"a", "b", "c"},
       {{"a", 21}, {"b", 20}, {"c", 20}}, 1},
      {"already even", Held({{"a", 20}, {"b", 21}, {"c", 20}}), {"a", "b", "c"},
       {{"a", 20}, {"b", 21}, {"c", 20}}, 0},
      {"more collectors than units", Held({{"a", 2}}), {"a", "b", "c"},
       {{"a", 1}, {"b", 1}}, 1},
      {"units held outside the share stay there", Held({{"", 10}, {"a", 20}}), {"a", "b"},
       {{"", 10}, {"a", 10}, {"b", 10}}, 10},
      {"all start at once", Held({{"-", 61}}), {"a", "b", "c"},
       {{"a", 21}, {"b", 20}, {"c", 20}}, 61},
  };
  for (const Case& c : cases) {
    for (const bool together : {false, true}) {
      Holders holders = c.holders;
      int moves = 0;
      EXPECT_EQ(Settle(holders, c.alive, together, moves), c.settled)
          << c.what << (together ? ", rounds together" : "");
      EXPECT_EQ(moves, c.moves) << c.what << (together ? ", rounds together" : "");
    }
  }
}

TEST(SharePlan, AUnitFreeForTwoRoundsIsTakenByWhoeverSeesIt) {
  // b's share is full; the free unit is a's, but a does not take it.
  const Holders holders = Held({{"-", 1}, {"b", 2}});
  for (const int rounds : {0, 1, 2}) {
    const SharePlan plan = PlanShare({"b", {"a", "b"}, holders, {rounds, 0, 0}});
    EXPECT_EQ(plan.wanted, rounds >= 2 ? 1u : 0u) << rounds;
    EXPECT_EQ(plan.take, std::vector<size_t>{0}) << rounds;
  }
}

// Rounds come a quarter of the shortest interval apart, within 250 ms and
// 5 s; a fleet with no terminal has no shortest interval.
TEST(SharePlan, RoundsComeSeveralTimesAnInterval) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  const std::pair<seconds, milliseconds> cases[] = {
      {seconds(0), milliseconds(250)},   {seconds(1), milliseconds(250)},
      {seconds(2), milliseconds(500)},   {seconds(10), milliseconds(2500)},
      {seconds(60), milliseconds(5000)}, {seconds::max(), milliseconds(5000)},
  };
  for (const auto& [interval, period] : cases) {
    EXPECT_EQ(FleetShare::Period(interval), period) << interval.count() << " s";
  }
}

}  // namespace
}  // namespace tallygate::collector
