// What the dashboard's reads of the store cost on a large store: 1,000,000
// punches, 200 terminals of 5,000 each over the days of 2025; 20 sites of
// ten terminals, each terminal's card list the 150 holders of its site
// (3,000 holders, names of three Chinese characters); one punch in a
// thousand without a valid date; 24 polls a terminal in the collections
// table, the last four failed on every tenth terminal.
//
// Fills a SQLite file and a PostgreSQL database (a throwaway server, or the
// database --postgres names) through the stores' own StorePage, a terminal's
// 5,000 punches a page; a store already filled so (--keep, --postgres) is
// used as it is. Then, for each store, a table: for each kind of search the
// first page of 100 and a page deep down (after 50 pages followed through
// the cursor, or the last page), each the median of 7 runs; then States(),
// a card list, the latest collections and a week's punches per hour. Then
// the same searches over HTTP from tallygate-collector run on each store
// (dashboard_http), and the CSV of the busiest month with the collector's
// peak memory. Each figure stands beside its target; a missed one says
// MISSED. The program exits 0 either way.
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/dashboard_figures.h"
#include "bench/dashboard_http.h"
#include "collector/store/store.h"
#include "common/cli/command_line.h"
#include "tests/support/postgres_server.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using bench::kDeepPages;
using bench::kPageRows;
using bench::kRuns;
using bench::kTargetMs;
using bench::MedianMs;
using bench::Table;

constexpr int kPerTerminal = 5000;
constexpr int kTerminalsPerSite = 10;
constexpr int kHoldersPerSite = 150;
constexpr uint32_t kFirstCard = 3'000'000;
constexpr int kPolls = 24;

// ---- The fill ------------------------------------------------------------------

std::string TerminalName(int terminal) {
  char name[16];
  std::snprintf(name, sizeof name, "t-%03d", terminal);
  return name;
}

uint32_t HolderCard(int holder) { return kFirstCard + static_cast<uint32_t>(holder); }

// Three characters, unique to the holder: a name fits one holder alone.
std::string HolderName(int holder) {
  static const char* const kFamily[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                        "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗",
                                        "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹"};
  static const char* const kFirst[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋"};
  static const char* const kSecond[] = {"华", "明", "平", "红", "英", "兰", "文", "杰", "涛", "琳"};
  const int given = holder / 30;
  return std::string(kFamily[holder % 30]) + kFirst[given % 10] + kSecond[given / 10 % 10];
}

std::vector<CardEntry> SiteCards(int site) {
  std::vector<CardEntry> cards;
  for (int i = 0; i < kHoldersPerSite; ++i) {
    const int holder = site * kHoldersPerSite + i;
    char staff[16];
    std::snprintf(staff, sizeof staff, "%08d", holder + 1);
    const std::string name = HolderName(holder);
    cards.push_back(
        {i, HolderCard(holder), staff, name, std::vector<uint8_t>(name.begin(), name.end())});
  }
  return cards;
}

LocalTime YearStart() {
  return LocalTime{std::chrono::local_days{2025y / 1 / 1}.time_since_epoch()};
}

// The terminal's punches, oldest first, at positions 0 to 4,999.
std::vector<Punch> TerminalPunches(int terminal) {
  std::mt19937_64 random(static_cast<uint64_t>(terminal) + 1);
  std::vector<uint32_t> seconds(kPerTerminal);
  for (uint32_t& s : seconds) s = static_cast<uint32_t>(random() % (365 * 86400));
  std::sort(seconds.begin(), seconds.end());
  const int site = terminal / kTerminalsPerSite;
  std::vector<Punch> punches(kPerTerminal);
  for (int i = 0; i < kPerTerminal; ++i) {
    Punch& punch = punches[static_cast<size_t>(i)];
    punch.position = i;
    punch.card = HolderCard(site * kHoldersPerSite + static_cast<int>(random() % kHoldersPerSite));
    if (random() % 1000 != 0) {
      punch.local = YearStart() + std::chrono::seconds{seconds[static_cast<size_t>(i)]};
      punch.utc = UtcTime{punch.local->time_since_epoch() - 8h};
    }
    punch.flag = static_cast<uint8_t>(random() % 4);
    for (size_t b = 0; b < 4; ++b) {  // position, card, time: unique on the terminal
      punch.bytes[b] = static_cast<uint8_t>(i >> (8 * b));
      punch.bytes[4 + b] = static_cast<uint8_t>(punch.card >> (8 * b));
      punch.bytes[8 + b] = static_cast<uint8_t>(seconds[static_cast<size_t>(i)] >> (8 * b));
    }
    std::copy(punch.bytes.begin(), punch.bytes.end(), punch.raw.begin());
  }
  return punches;
}

// The terminal's polls: complete, then (every tenth terminal) four failed.
void AddPolls(Store& store, int terminal, int64_t first, const std::vector<Punch>& punches) {
  for (int poll = 0; poll < kPolls; ++poll) {
    Collection collection;
    collection.terminal = TerminalName(terminal);
    collection.started = UtcTime{YearStart().time_since_epoch()} + std::chrono::hours{poll};
    collection.ended = collection.started + 10s;
    const bool failed = terminal % 10 == 0 && poll >= kPolls - 4;
    collection.outcome = failed ? Outcome::kUnreachable : Outcome::kComplete;
    if (!failed) collection.count = kPerTerminal;
    const int64_t id = poll == 0 ? first : store.BeginCollection(collection);
    if (poll == 0) collection.punches_added = static_cast<int32_t>(punches.size());
    store.FinishCollection(id, collection, std::nullopt);
  }
}

int64_t StoredPunches(Store& store) {
  int64_t punches = 0;
  for (const TerminalState& state : store.States()) punches += state.punches;
  return punches;
}

// Fills `store` unless it holds the fill already; prints what it did.
void Fill(Store& store, int terminals) {
  const int64_t wanted = int64_t{terminals} * kPerTerminal;
  if (const int64_t held = StoredPunches(store); held != 0) {
    if (held != wanted) {
      throw StoreError("holds " + std::to_string(held) + " punches, not the " +
                       std::to_string(wanted) + " of the fill: give an empty store");
    }
    std::printf("  already filled: %lld punches\n", static_cast<long long>(held));
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (int terminal = 0; terminal < terminals; ++terminal) {
    const std::string name = TerminalName(terminal);
    store.SaveTerminal({name, "tcp://192.0.2.1:1001", 1, "Asia/Shanghai"});
    if (!store.ClaimTerminal(name)) throw StoreError(name + " is claimed by another collector");
    store.ReplaceCards(name, SiteCards(terminal / kTerminalsPerSite),
                       UtcTime{YearStart().time_since_epoch()});
    Collection collection;
    collection.terminal = name;
    const int64_t first = store.BeginCollection(collection);
    const std::vector<Punch> punches = TerminalPunches(terminal);
    store.StorePage(name, first, punches,
                    {kPerTerminal, punches.back().bytes, punches.front().bytes});
    AddPolls(store, terminal, first, punches);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("  filled: %lld punches in %.1f s (%.0f punches/s)\n", static_cast<long long>(wanted),
              seconds, static_cast<double>(wanted) / seconds);
}

// ---- The figures ---------------------------------------------------------------

// A search as the store takes it and as the dashboard's URLs do.
struct Search {
  std::string what;
  PunchFilter filter;
  std::multimap<std::string, std::string> query;
};

// The terminal and holder searched for: at five eighths of the fleet (t-125
// of 200) and a holder of its site.
std::vector<Search> Searches(int terminals) {
  const int terminal = terminals * 5 / 8;
  const int holder = terminal / kTerminalsPerSite * kHoldersPerSite + 34;
  const std::string name = HolderName(holder);
  const uint32_t card = HolderCard(holder);
  const auto day = [](std::chrono::year_month_day date) {
    return LocalTime{std::chrono::local_days{date}.time_since_epoch()};
  };
  std::vector<Search> searches(8);
  searches[0].what = "none";
  // The URL's `to` is the last day, the filter's the first one after.
  searches[1].what = "a day (2025-06-15)";
  searches[1].filter.from = day(2025y / 6 / 15);
  searches[1].filter.to = day(2025y / 6 / 16);
  searches[1].query = {{"from", "2025-06-15"}, {"to", "2025-06-15"}};
  searches[2].what = "a month (2025-06)";
  searches[2].filter.from = day(2025y / 6 / 1);
  searches[2].filter.to = day(2025y / 7 / 1);
  searches[2].query = {{"from", "2025-06-01"}, {"to", "2025-06-30"}};
  searches[3].what = "a terminal";
  searches[3].filter.terminal = TerminalName(terminal);
  searches[4].what = "a card";
  searches[4].filter.card = card;
  searches[5].what = "a name of one holder";
  searches[5].filter.name = name;
  searches[6].what = "a given name (30 holders)";
  searches[6].filter.name = name.substr(3);  // two characters
  searches[7].what = "a family name (100 holders)";
  searches[7].filter.name = name.substr(0, 3);  // one character
  for (Search& search : searches) {
    if (search.filter.terminal) search.query.emplace("terminal", *search.filter.terminal);
    if (search.filter.card) search.query.emplace("card", std::to_string(*search.filter.card));
    if (search.filter.name) search.query.emplace("name", *search.filter.name);
  }
  return searches;
}

// The month the fill put the most dated punches in, for the CSV download.
bench::CsvMonth BusiestMonth(int terminals) {
  std::map<std::chrono::year_month, int64_t> months;
  for (int terminal = 0; terminal < terminals; ++terminal) {
    for (const Punch& punch : TerminalPunches(terminal)) {
      if (!punch.local) continue;
      const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(*punch.local)};
      ++months[date.year() / date.month()];
    }
  }
  const auto busiest = std::max_element(months.begin(), months.end(),
                                        [](auto& a, auto& b) { return a.second < b.second; });
  const std::chrono::year_month_day_last last{busiest->first / std::chrono::last};
  char from[16], to[16];
  std::snprintf(from, sizeof from, "%04d-%02u-01", static_cast<int>(last.year()),
                static_cast<unsigned>(last.month()));
  std::snprintf(to, sizeof to, "%s%02u", std::string(from, 8).c_str(),
                static_cast<unsigned>(last.day()));
  return {from, to, busiest->second};
}

void TimeReads(Store& store, int terminals, Table& table) {
  std::printf("  each the median of %d runs (target < %g ms)\n", kRuns, kTargetMs);
  for (const Search& search : Searches(terminals)) {
    PunchPage page;
    const double first =
        MedianMs([&] { page = store.SearchPunches(search.filter, std::nullopt, kPageRows); });
    table.Row(search.what + ", first page", page.rows.size(), first);

    std::optional<PunchCursor> deep;
    size_t before = 0;
    for (int i = 0; i < kDeepPages && page.next; ++i) {
      deep = page.next;
      before += page.rows.size();
      page = store.SearchPunches(search.filter, deep, kPageRows);
    }
    if (!deep) continue;  // one page holds them all
    const double later =
        MedianMs([&] { page = store.SearchPunches(search.filter, deep, kPageRows); });
    table.Row(search.what + ", deep page", page.rows.size(), later,
              "   after " + std::to_string(before) + " rows");
  }
  // Past every dated punch: the undated ones, from their own walk.
  PunchPage undated;
  const PunchCursor past{YearStart() - 1s, INT64_MAX};
  const double tail = MedianMs([&] { undated = store.SearchPunches({}, past, kPageRows); });
  table.Row("none, the undated pages", undated.rows.size(), tail);

  std::vector<TerminalState> states;
  const double states_ms = MedianMs([&] { states = store.States(); });
  table.Row("States()", states.size(), states_ms);
  CardList cards;
  const double cards_ms = MedianMs([&] { cards = store.Cards(TerminalName(terminals * 5 / 8)); });
  table.Row("Cards(one terminal)", cards.cards.size(), cards_ms);
  std::vector<Collection> collections;
  const double collections_ms = MedianMs([&] { collections = store.Collections("", kPageRows); });
  table.Row("Collections(every terminal)", collections.size(), collections_ms);
  // The chart of the Terminals page and of a terminal's: a week's hours.
  const LocalTime week = YearStart() + std::chrono::days{160};
  for (const std::string& terminal : {std::string(), TerminalName(terminals / 2)}) {
    std::vector<HourCount> hours;
    const double hours_ms = MedianMs(
        [&] { hours = store.PunchesPerHour(terminal, week, week + std::chrono::days{7}); });
    table.Row(terminal.empty() ? "PunchesPerHour(a week, every terminal)"
                               : "PunchesPerHour(a week, one terminal)",
              hours.size(), hours_ms);
  }
}

// A store filled for the dashboard: what OpenStore takes to open it again.
struct FilledStore {
  std::string title;
  std::string database;
};

void Measure(const FilledStore& filled, int terminals, Table& table) {
  std::printf("\n%s: %s\n", filled.title.c_str(), filled.database.c_str());
  std::fflush(stdout);
  const std::unique_ptr<Store> store = OpenStore(filled.database);
  Fill(*store, terminals);
  TimeReads(*store, terminals, table);
}

// The same searches from tallygate-collector's dashboard, and the CSV of
// the busiest month; the collector's files go into `folder`.
void MeasureHttp(const FilledStore& filled, int terminals, const std::filesystem::path& folder,
                 Table& table) {
  std::printf("\n%s, the dashboard over HTTP:\n", filled.title.c_str());
  std::fflush(stdout);
  std::vector<bench::HttpSearch> searches;
  for (const Search& search : Searches(terminals)) searches.push_back({search.what, search.query});
  bench::TimeDashboard(TALLYGATE_COLLECTOR_PATH, filled.database, folder, searches,
                       BusiestMonth(terminals), table);
}

}  // namespace
}  // namespace tallygate::collector

int main(int argc, char** argv) {
  using namespace tallygate::collector;
  std::string keep, postgres;
  int terminals = 200;
  CLI::App app(
      "What the dashboard's store reads cost on 1,000,000 punches in SQLite and\n"
      "PostgreSQL: a page of each kind of search, first and deep, the terminals'\n"
      "states, a card list; then the same pages and a month's CSV from\n"
      "tallygate-collector's dashboard; each figure beside its target.",
      "dashboard_bench");
  tallygate::command_line::Prepare(app);
  app.add_option("--keep", keep,
                 "keep the SQLite file in this folder (dashboard.db), and use it as it is\n"
                 "when it is filled already")
      ->type_name("DIR");
  app.add_option("--postgres", postgres,
                 "fill and measure this database instead of a throwaway server's (filled\n"
                 "once: an empty database or one this program filled)")
      ->type_name("URI");
  app.add_option("--terminals", terminals, "terminals of 5,000 punches (default 200)")
      ->transform(tallygate::command_line::DecimalIn(1, 1000))
      ->type_name("N");
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;

  std::string folder = keep;
  if (folder.empty()) {
    folder = (std::filesystem::temp_directory_path() / "tallygate-dashboard-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 1;
  }
  Table table;
  std::unique_ptr<tallygate::testing::PostgresServer> server;
  try {
    std::vector<FilledStore> stores = {
        {"SQLite", "sqlite:" + (std::filesystem::path(folder) / "dashboard.db").string()}};
    if (postgres.empty() && !tallygate::testing::PostgresServer::Programs().empty()) {
      server = std::make_unique<tallygate::testing::PostgresServer>();
      postgres = server->Uri();
    }
    if (postgres.empty()) {
      std::printf("PostgreSQL: no server installed, its figures not measured\n");
    } else {
      stores.push_back({"PostgreSQL", postgres});
    }
    for (const FilledStore& filled : stores) Measure(filled, terminals, table);
    for (const FilledStore& filled : stores) {
      MeasureHttp(filled, terminals, std::filesystem::path(folder) / ("collector-" + filled.title),
                  table);
    }
  } catch (const std::exception& error) {
    std::printf("dashboard_bench: %s   FAILED\n", error.what());
  }
  if (keep.empty()) {
    std::filesystem::remove_all(folder);
  } else {
    std::printf("\nThe SQLite store is kept: %s/dashboard.db\n", folder.c_str());
  }
  std::printf("%s\n", table.all_met() ? "Every figure met its target." : "Some figures MISSED.");
  return 0;
}
