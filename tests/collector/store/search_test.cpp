// The dashboard's search: every selected punch once, newest first, page
// after page through the cursor's text, for each kind of filter; the name
// filter's letters, % and _; the cursor's text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collector/store/punch_query.h"
#include "collector/store/store.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

class SearchTest : public StoreTest {};
INSTANTIATE_TEST_SUITE_P(Stores, SearchTest, StoreKinds(), StoreKindName);

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// What `filter` selects of `all`, newest first: the search's rules, written
// plainly.
std::vector<int64_t> Expected(std::vector<PunchRow> all, const PunchFilter& filter) {
  std::erase_if(all, [&](const PunchRow& row) {
    const auto& local = row.punch.local;
    return (filter.from && (!local || *local < *filter.from)) ||
           (filter.to && (!local || *local >= *filter.to)) ||
           (filter.terminal && row.terminal != *filter.terminal) ||
           (filter.card && row.punch.card != *filter.card) ||
           (filter.name &&
            AsciiLower(row.name).find(AsciiLower(*filter.name)) == std::string::npos);
  });
  std::sort(all.begin(), all.end(), [](const PunchRow& a, const PunchRow& b) {
    const auto& x = a.punch.local;
    const auto& y = b.punch.local;
    if (x.has_value() != y.has_value()) return x.has_value();
    return x != y ? *x > *y : a.id > b.id;
  });
  std::vector<int64_t> ids;
  for (const PunchRow& row : all) ids.push_back(row.id);
  return ids;
}

TEST_P(SearchTest, PagesVisitEverySelectedPunchOnceNewestFirst) {
  // Lists: a Chinese name, % and _ in names, a card listed twice (its first
  // entry counts), more holders named Lee than a name is searched card by
  // card for, and card 500 on no list.
  const UtcTime now{std::chrono::seconds{1'700'000'000}};
  std::vector<CardEntry> first_list = {
      {0, 100, "00000001", "张三", {}},    {1, 200, "00000002", "Ann_Lee", {}},
      {2, 300, "00000003", "Bob 50%", {}}, {3, 600, "00000006", "Cy 500", {}},
      {4, 400, "00000004", "Twice", {}},   {5, 400, "00000044", "Zed", {}}};
  std::vector<uint32_t> cards = {100, 200, 300, 400, 500, 600};
  for (uint32_t i = 0; i <= kFewHolderCards; ++i) {
    first_list.push_back(
        {static_cast<int32_t>(6 + i), 1000 + i, "1", "Lee " + std::to_string(i), {}});
    cards.push_back(1000 + i);
  }
  store_->ReplaceCards("gate-1", first_list, now);
  store_->ReplaceCards(
      "gate-2",
      std::vector<CardEntry>{{0, 100, "00000077", "ANN B", {}}, {1, 300, "00000078", "张三丰", {}}},
      now);

  // Three days, two times a day: many punches share a time; every seventh
  // has no date. The terminals' pages interleave their ids.
  const auto punches = [&](int first, int count) {
    std::vector<Punch> page;
    for (int id = first; id < first + count; ++id) {
      const std::optional<LocalTime> local =
          id % 7 == 3
              ? std::nullopt
              : std::optional(At(2024, 3, 1 + static_cast<unsigned>(id % 3), 8 + id / 3 % 2));
      page.push_back(MakePunch(id, cards[static_cast<size_t>(id) % cards.size()], local));
    }
    return page;
  };
  store_->StorePage("gate-1", collection_, punches(0, 40), Mark{});
  store_->StorePage("gate-2", collection_, punches(0, 25), Mark{});
  store_->StorePage("gate-1", collection_, punches(40, 40), Mark{});
  std::vector<PunchRow> all;
  store_->ForEachPunch({}, [&](const PunchRow& row) { all.push_back(row); });
  ASSERT_EQ(all.size(), 105u);

  const std::optional<LocalTime> any;
  const std::optional<std::string> all_terminals, no_name;
  const std::optional<uint32_t> every_card;
  struct Case {
    const char* what;
    std::optional<LocalTime> from, to;
    std::optional<std::string> terminal;
    std::optional<uint32_t> card;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {"everything", any, any, all_terminals, every_card, no_name},
      {"one day", At(2024, 3, 2, 0), At(2024, 3, 3, 0), all_terminals, every_card, no_name},
      {"from a shared time on", At(2024, 3, 2, 9), any, all_terminals, every_card, no_name},
      {"one terminal", any, any, "gate-2", every_card, no_name},
      {"one card on both terminals", any, any, all_terminals, 100, no_name},
      {"a terminal and a day", At(2024, 3, 1, 0), At(2024, 3, 2, 0), "gate-1", every_card, no_name},
      {"a Chinese name", any, any, all_terminals, every_card, "张三"},
      {"% is a percent sign", any, any, all_terminals, every_card, "50%"},
      {"_ is an underscore", any, any, all_terminals, every_card, "_"},
      {"letters in either case", any, any, all_terminals, every_card, "aNn"},
      {"a name of many holders", any, any, all_terminals, every_card, "lee"},
      {"many holders on one terminal", any, any, "gate-1", every_card, "lee"},
      {"several holders", any, any, all_terminals, every_card, "LEE 1"},
      {"a name and a day", At(2024, 3, 3, 0), any, all_terminals, every_card, "ann"},
      {"a name and a card", any, any, all_terminals, 100, "张"},
      {"an empty name", any, any, all_terminals, every_card, ""},
  };
  for (const Case& c : cases) {
    const PunchFilter filter{c.from, c.to, c.terminal, c.card, c.name, {}};
    const std::vector<int64_t> expected = Expected(all, filter);
    ASSERT_FALSE(expected.empty()) << c.what;
    std::vector<int64_t> streamed;  // the export's rows, in its own order
    store_->ForEachPunch(filter, [&](const PunchRow& row) { streamed.push_back(row.id); });
    std::sort(streamed.begin(), streamed.end(), std::greater<>());
    std::vector<int64_t> sorted = expected;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    EXPECT_EQ(streamed, sorted) << c.what << ": ForEachPunch";

    for (int limit : {1, 4, 1000}) {
      std::vector<int64_t> ids;
      std::optional<PunchCursor> after;
      for (int page = 0; page <= 110; ++page) {
        const PunchPage found = store_->SearchPunches(filter, after, limit);
        EXPECT_LE(found.rows.size(), static_cast<size_t>(limit)) << c.what;
        if (page > 0) {
          EXPECT_FALSE(found.rows.empty()) << c.what << ": an empty page followed";
        }
        for (const PunchRow& row : found.rows) ids.push_back(row.id);
        if (!found.next) break;
        // As a link carries it.
        after = PunchCursorFromText(PunchCursorText(*found.next));
        ASSERT_EQ(after, found.next) << c.what;
      }
      EXPECT_EQ(ids, expected) << c.what << ", " << limit << " a page";
    }
  }

  // Card 400's punches show its first entry's name, not its second's.
  PunchFilter second_entry;
  second_entry.name = "zed";
  EXPECT_TRUE(store_->SearchPunches(second_entry, std::nullopt, 10).rows.empty());
  EXPECT_EQ(CountPunches(*store_, second_entry), 0);
}

TEST(PunchCursorTest, TextNamesTheCursorAndNothingElse) {
  const struct {
    std::string text;
    std::optional<PunchCursor> cursor;
  } cases[] = {
      {"2026-12-01T08:59:12.4711",
       PunchCursor{At(2026, 12, 1, 8, 59) + std::chrono::seconds{12}, 4711}},
      {"-.4711", PunchCursor{std::nullopt, 4711}},
      {"2024-02-29T00:00:00.1", PunchCursor{At(2024, 2, 29, 0), 1}},
      {"-.9223372036854775807", PunchCursor{std::nullopt, INT64_MAX}},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"-.", std::nullopt},
      {".5", std::nullopt},
      {"-.0", std::nullopt},
      {"-.-5", std::nullopt},
      {"-.+5", std::nullopt},
      {"-.05", std::nullopt},
      {"-.5x", std::nullopt},
      {"-.5 ", std::nullopt},
      {"-.9223372036854775808", std::nullopt},
      {"2026-12-01T08:59:12", std::nullopt},
      {"2026-12-01 08:59:12.5", std::nullopt},
      {"2026-12-01T08:59:12Z.5", std::nullopt},
      {"2026-12-01T08:59.5", std::nullopt},
      {"2025-02-29T08:00:00.5", std::nullopt},
      {"2026-13-01T08:00:00.5", std::nullopt},
      {"2026-12-01T24:00:00.5", std::nullopt},
      {"2026-12-01T08:60:00.5", std::nullopt},
      {"x.5", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PunchCursorFromText(c.text), c.cursor) << c.text;
    if (c.cursor) {
      EXPECT_EQ(PunchCursorText(*c.cursor), c.text);
    }
  }
}

}  // namespace
}  // namespace tallygate::collector
