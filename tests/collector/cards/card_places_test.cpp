// Where a card stands on each terminal, from what the store knows: a card
// that should not be on a terminal is gone only once a list collected
// since the holder's last change lacks it, and a terminal whose list was
// never collected, or not since, says unknown.
#include "collector/cards/card_places.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

using std::chrono::hours;

const UtcTime kChange{std::chrono::seconds{1'790'000'000}};  // the holder's last change
const LocalDay kToday{std::chrono::year{2026} / 9 / 21};
constexpr uint32_t kCard = 7;

CardTrace::Listing List(std::string terminal, UtcTime collected, std::string name = "") {
  CardTrace::Listing listing{std::move(terminal), collected, {}};
  if (!name.empty()) listing.entries.push_back({0, kCard, "00000007", std::move(name), {}});
  return listing;
}

Cardholder Holder(bool revoked = false) {
  Cardholder holder = MakeHolder(kCard, "Ann", {"gates"});
  if (revoked) holder.revoked = kChange;
  return holder;
}

// "gate pending remove/revoked +0": the state, the change, its reason and
// since when (hours from the change).
std::vector<std::string> Texts(const std::vector<TerminalCard>& places) {
  std::vector<std::string> texts;
  for (const TerminalCard& place : places) {
    std::string text = place.terminal + " " + CardPlaceName(place.place);
    if (place.pending) {
      const PendingCard& change = *place.pending;
      text += std::string(" ") + CardChangeName(change.change) +
              (change.reason.empty() ? "" : "/" + change.reason) + " " +
              std::to_string((change.since - kChange) / hours{1});
    }
    texts.push_back(text);
  }
  return texts;
}

TEST(CardPlacesTest, EachTerminalSaysWhatIsKnown) {
  Cardholder expired = Holder();
  expired.valid_until = kToday - std::chrono::days{1};
  const PendingCard failed{"gate", kCard,   CardChange::kAdd, "",    "00000007",
                           "Ann",  kChange - hours{2}, kChange,          "full"};
  const UtcTime before = kChange - hours{1};
  const UtcTime after = kChange + hours{1};
  struct Case {
    const char* what;
    Cardholder holder;
    std::vector<CardTrace::Listing> lists;
    std::vector<std::string> places;
    std::vector<std::string> tried_on = {};
    std::vector<PendingCard> stored = {};
  };
  const Case cases[] = {
      {"new, the list never collected", Holder(), {}, {"gate unknown"}},
      {"new, not on the list", Holder(), {List("gate", before)}, {"gate pending add 0"}},
      {"on the list as wanted", Holder(), {List("gate", before, "Ann")}, {"gate in place"}},
      {"another name", Holder(), {List("gate", after, "Bob")}, {"gate pending rewrite 1"}},
      {"its add failed", Holder(), {List("gate", before)}, {"gate failed add -2"}, {}, {failed}},
      {"revoked, on the list", Holder(true), {List("gate", before, "Ann")},
       {"gate pending remove/revoked 0"}},
      {"revoked, a list since lacks it", Holder(true), {List("gate", after)}, {}},
      {"revoked, a list that second lacks it", Holder(true), {List("gate", kChange)}, {}},
      {"revoked, the list before lacked it", Holder(true), {List("gate", before)}, {"gate unknown"}},
      {"revoked, the list never collected", Holder(true), {}, {"gate unknown"}},
      {"revoked, tried where no longer named", Holder(true),
       {List("gate", after), List("old", after, "Ann")},
       {"door unknown", "gone unknown", "old pending remove/revoked 0"}, {"door", "gone"}},
      {"expired, off the list", expired, {List("gate", before)}, {"gate outside dates"}},
      {"expired, on the list", expired, {List("gate", after, "Ann")},
       {"gate pending remove/expired 1"}},
  };
  CardFleet fleet{{{"gate", {"gates"}}, {"door", {"doors"}}}, {kToday, kToday}, kChange};
  for (const Case& c : cases) {
    const CardTrace trace{kCard, kChange, c.tried_on, c.lists};
    EXPECT_EQ(Texts(PlacesOf(c.holder, trace, fleet, c.stored)), c.places) << c.what;
  }
}

}  // namespace
}  // namespace tallygate::collector
