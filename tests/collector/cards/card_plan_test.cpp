// Each terminal's plan: cards enrolled where their holder's terminals and
// validity take them in, taken off where they no longer belong, written
// again when staff number or name changed, and cards nobody asked for left
// (or taken off where the terminal says so); what a terminal holds at most.
#include "collector/cards/card_plan.h"

#include "collector/cards/card_changes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

using std::chrono::days;

const LocalDay kToday = LocalDay{std::chrono::year{2026} / 3 / 10};

Cardholder Holder(uint32_t card, std::vector<std::string> where, std::string name = "Ann") {
  return MakeHolder(card, std::move(name), std::move(where));
}

CardEntry Listed(uint32_t card, std::string name = "Ann") {
  CardEntry entry;
  entry.card = card;
  entry.staff = StaffDigits(std::to_string(card));
  entry.name = std::move(name);
  return entry;
}

// The plan as "add:1,2 rewrite:3 remove:4 unknown:5 in_place:6" (empty kinds left out).
std::string Text(const TerminalPlan& plan) {
  std::string text;
  const auto kind = [&](const char* name, const std::vector<uint32_t>& cards) {
    if (cards.empty()) return;
    text += (text.empty() ? "" : " ") + std::string(name) + ":";
    for (size_t i = 0; i < cards.size(); ++i) text += (i ? "," : "") + std::to_string(cards[i]);
  };
  const auto cards = [](const auto& entries) {
    std::vector<uint32_t> numbers;
    for (const auto& e : entries) numbers.push_back(e.card);
    return numbers;
  };
  kind("add", cards(plan.add));
  kind("rewrite", cards(plan.rewrite));
  kind("remove", cards(plan.remove));
  kind("unknown", cards(plan.unknown));
  kind("in_place", plan.in_place);
  return text;
}

TEST(CardPlanTest, EachTerminalGetsWhatBelongsOnIt) {
  Cardholder expired = Holder(7, {"*"});
  expired.valid_until = kToday - days{1};
  Cardholder last_day = Holder(8, {"*"});
  last_day.valid_until = kToday;
  Cardholder not_yet = Holder(9, {"*"});
  not_yet.valid_from = kToday + days{1};
  Cardholder revoked = Holder(10, {"*"});
  revoked.revoked = UtcTime{};
  const std::vector<Cardholder> holders = {
      Holder(1, {"gates"}), Holder(2, {"canteen"}), Holder(3, {"gate-1"}),
      Holder(4, {"gates"}, "Bob"), Holder(5, {"*"}), expired, last_day, not_yet, revoked};
  const CardTerminal gate{"gate-1", {"gates", "north"}, NameCoding::kGbk};
  const CardTerminal canteen{"canteen-1", {"canteen"}, NameCoding::kGbk};
  CardTerminal removing = canteen;
  removing.remove_unknown = true;
  CardEntry other_staff = Listed(5);
  other_staff.staff = "00000099";
  struct Case {
    const char* what;
    CardTerminal terminal;
    std::vector<CardEntry> list;
    bool collected;
    std::string plan;
  };
  const Case cases[] = {
      {"an empty list gets its group's, its own and everyone's cards", gate, {}, true,
       "add:1,3,4,5,8"},
      {"the other group's terminal", canteen, {}, true, "add:2,5,8"},
      {"a card of another group, expired, not yet valid, revoked: removed", gate,
       {Listed(2), Listed(7), Listed(9), Listed(10)}, true, "add:1,3,4,5,8 remove:2,7,9,10"},
      {"a changed name and a changed staff number are written again", gate,
       {Listed(1), Listed(3), Listed(4, "Ann"), other_staff, Listed(8)}, true,
       "rewrite:4,5 in_place:1,3,8"},
      {"a card nobody ever held stays, reported", canteen, {Listed(2), Listed(99)}, true,
       "add:5,8 unknown:99 in_place:2"},
      {"a card nobody ever held, on a terminal that removes such cards", removing,
       {Listed(2), Listed(99)}, true, "add:5,8 remove:99 unknown:99 in_place:2"},
      {"a card listed twice counts once", canteen, {Listed(2), Listed(2)}, true,
       "add:5,8 in_place:2"},
      {"a list never collected: everything to add", canteen, {}, false, "add:2,5,8"},
  };
  for (const Case& c : cases) {
    CardList list{c.collected ? std::optional(UtcTime{}) : std::nullopt, c.list};
    const TerminalPlan plan = PlanTerminal(holders, {c.terminal, kToday, list});
    EXPECT_EQ(Text(plan), c.plan) << c.what;
    EXPECT_EQ(plan.list_known, c.collected) << c.what;
    EXPECT_EQ(plan.terminal, c.terminal.name);
  }
}

// Why each card is to come off, and since when: a revocation since it was
// made, the rest since they were found.
TEST(CardPlanTest, PendingRemovalsSayWhyAndSinceWhen) {
  Cardholder expired = Holder(7, {"*"});
  expired.valid_until = kToday - days{1};
  Cardholder not_yet = Holder(9, {"*"});
  not_yet.valid_from = kToday + days{1};
  Cardholder revoked = Holder(10, {"*"});
  revoked.revoked = UtcTime{std::chrono::seconds{1000}};
  const std::vector<Cardholder> holders = {Holder(2, {"canteen"}), expired, not_yet, revoked};
  CardTerminal removing{"gate-1", {"gates"}, NameCoding::kGbk};
  removing.remove_unknown = true;
  const CardList list{UtcTime{}, {Listed(2), Listed(7), Listed(9), Listed(10), Listed(99)}};
  const UtcTime now{std::chrono::seconds{5000}};
  const std::vector<PendingCard> pending =
      PendingOf(PlanTerminal(holders, {removing, kToday, list}), holders, kToday, now);
  std::string why;
  for (const PendingCard& change : pending) {
    EXPECT_EQ(change.change, CardChange::kRemove);
    EXPECT_EQ(change.since, change.card == 10 ? *revoked.revoked : now) << change.card;
    why += std::to_string(change.card) + ":" + change.reason + " ";
  }
  EXPECT_EQ(why, "2:elsewhere 7:expired 9:not valid yet 10:revoked 99:unknown ");
}

// A terminal's list holds so many cards: more wanted there is refused, a
// revoked holder taking no place.
TEST(CardPlanTest, CapacityCountsEveryHolderATerminalTakesIn) {
  Cardholder revoked = Holder(3, {"*"});
  revoked.revoked = UtcTime{};
  const std::vector<Cardholder> holders = {Holder(1, {"gates"}), Holder(2, {"*"}), revoked};
  CardTerminal small{"gate-1", {"gates"}, NameCoding::kGbk};
  small.capacity = 1;
  CardTerminal canteen{"canteen-1", {"canteen"}, NameCoding::kGbk};
  canteen.capacity = 1;
  const std::vector<std::string> problems = CapacityProblems(holders, std::vector{small, canteen});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "terminal 'gate-1' would hold 2 cards, more than its 1");
}

TEST(CardPlanTest, EntriesToWriteCarryTheTerminalsForm) {
  Cardholder holder = Holder(5, {"*"}, "张三");
  holder.staff = "1024";
  const TerminalPlan plan =
      PlanTerminal(std::vector{holder}, {{"t", {}, NameCoding::kGbk}, kToday, {UtcTime{}, {}}});
  ASSERT_EQ(plan.add.size(), 1u);
  EXPECT_EQ(plan.add[0], (WantedEntry{5, "00001024", "张三"}));
}

// A name the terminal cannot hold as it is: enrolled as the terminal takes
// it, and found in place once its list reads back what it holds.
TEST(CardPlanTest, NamesAreComparedAsTheTerminalHoldsThem) {
  struct Case {
    std::string name;      // as kept
    std::string enrolled;  // as sent
    std::string listed;    // as the list reads back, padding dropped
  };
  const Case cases[] = {
      {"Ann ", "Ann ", "Ann"},
      {"Annabelle Lee", "Annabell", "Annabell"},
      {"张三李四王", "张三李四", "张三李四"},
      {"😀Ann", "😀Ann", "?Ann"},
      {std::string("A\0", 2), std::string("A\0", 2), "A"},
  };
  const CardTerminal gate{"gate-1", {}, NameCoding::kGbk};
  for (const Case& c : cases) {
    const std::vector<Cardholder> holders = {Holder(1, {"*"}, c.name)};
    const TerminalPlan empty = PlanTerminal(holders, {gate, kToday, {UtcTime{}, {}}});
    ASSERT_EQ(empty.add.size(), 1u) << c.listed;
    EXPECT_EQ(empty.add[0].name, c.enrolled);
    const TerminalPlan held = PlanTerminal(holders, {gate, kToday, {UtcTime{}, {Listed(1, c.listed)}}});
    EXPECT_EQ(Text(held), "in_place:1") << c.listed;
    const TerminalPlan other = PlanTerminal(holders, {gate, kToday, {UtcTime{}, {Listed(1, "Bob")}}});
    ASSERT_EQ(other.rewrite.size(), 1u) << c.listed;
    EXPECT_EQ(other.rewrite[0].name, c.enrolled);
  }
}

}  // namespace
}  // namespace tallygate::collector
