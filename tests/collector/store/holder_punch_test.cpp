// Store::ForEachHolderPunch on both stores: by card then local time across
// the terminals asked for, each punch named by its holder, its terminal's
// list or a name a list gave the card before; undated punches after the
// dated ones, whatever the dates asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/store/store.h"
#include "collector/base/time_text.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

class HolderPunchTest : public StoreTest {};
INSTANTIATE_TEST_SUITE_P(Stores, HolderPunchTest, StoreKinds(), StoreKindName);

TEST_P(HolderPunchTest, ByCardThenTimeNamedByTheirHolder) {
  store_->SaveTerminal({"gate-3", "tcp://192.0.2.1:1001", 1, "Asia/Shanghai"});
  ASSERT_TRUE(store_->ClaimTerminal("gate-3"));
  const auto put = [&](const std::string& terminal, std::vector<Punch> punches) {
    store_->StorePage(terminal, store_->BeginCollection(CollectionOf(terminal)), punches,
                      MarkAfter(punches.back()));
  };
  put("gate-1", {MakePunch(0, 7, At(2024, 3, 1, 6)), MakePunch(1, 5, At(2024, 3, 1, 8)),
                 MakePunch(2, 5, std::nullopt), MakePunch(3, 9, At(2024, 3, 2, 10))});
  put("gate-2", {MakePunch(0, 5, At(2024, 3, 1, 7)), MakePunch(1, 7, At(2024, 2, 1, 7))});
  put("gate-3", {MakePunch(0, 5, At(2024, 3, 1, 9)), MakePunch(1, 5, std::nullopt)});
  // Card 5 has a holder and an older entry; card 9 was on gate-2's list
  // once, and is on none now.
  store_->ReplaceCards(
      "gate-1", std::vector<CardEntry>{{0, 7, "00000007", "Bob", {}}, {1, 5, "1", "Old", {}}},
      UtcTime{});
  store_->ReplaceCards("gate-2", std::vector<CardEntry>{{0, 9, "00000009", "Cy", {}}}, UtcTime{});
  store_->ReplaceCards("gate-2", std::vector<CardEntry>{}, UtcTime{});
  store_->ChangeCardholders({{MakeHolder(5, "Ann", {"gate-1"})}, {}, false}, "test", UtcTime{});

  PunchFilter march;
  march.from = At(2024, 3, 1, 0);
  march.to = At(2024, 4, 1, 0);
  march.terminals = {"gate-1", "gate-2"};
  std::vector<std::string> rows;
  store_->ForEachHolderPunch(march, [&](const PunchRow& row) {
    const auto& local = row.punch.local;
    rows.push_back(std::to_string(row.punch.card) + " " + row.terminal + " " +
                   (local ? LocalTimeText(*local) : "-") + " " + row.staff + " " + row.name);
  });
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "5 gate-2 2024-03-01 07:00:00 5 Ann", "5 gate-1 2024-03-01 08:00:00 5 Ann",
                      "7 gate-1 2024-03-01 06:00:00 00000007 Bob",
                      "9 gate-1 2024-03-02 10:00:00  Cy", "5 gate-1 - 5 Ann"}));
}

}  // namespace
}  // namespace tallygate::collector
