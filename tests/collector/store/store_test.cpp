// What both stores must do alike: each punch once, a page whole or not at
// all, the schema's versions, searches and the terminals' state.
#include "collector/store/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "collector/store/postgres_store.h"
#include "collector/store/sqlite_store.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, StoreKinds(), StoreKindName);

std::vector<Punch> Ids(std::initializer_list<int> ids) {
  std::vector<Punch> punches;
  for (int id : ids) punches.push_back(MakePunch(id));
  return punches;
}

TEST_P(StoreTest, SameBytesFromOneTerminalAreStoredOnce) {
  const int64_t later = store_->BeginCollection(CollectionOf("gate-1"));
  struct Step {
    const char* what;
    int64_t collection;
    std::vector<Punch> page;
    int32_t added;
  };
  const Step steps[] = {
      {"a first page", collection_, Ids({0, 1, 2}), 3},
      {"a page that overlaps it", collection_, Ids({2, 3}), 1},
      {"a later collection reading all again", later, Ids({0, 1, 2, 3, 4}), 1},
      {"the same bytes twice in one page", later, Ids({5, 5, 6}), 2},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(store_->StorePage("gate-1", step.collection, step.page, MarkAfter(step.page.back())),
              step.added)
        << step.what;
  }
  // Another terminal's identical bytes are its own punch.
  EXPECT_EQ(store_->StorePage("gate-2", collection_, Ids({0}), MarkAfter(MakePunch(0))), 1);

  std::vector<int32_t> positions;
  store_->ForEachPunch(TerminalFilter("gate-1"), [&](const PunchRow& row) {
    const Punch expected = MakePunch(row.punch.position);
    EXPECT_EQ(row.punch.bytes, expected.bytes);
    EXPECT_EQ(row.punch.raw, expected.raw);
    EXPECT_EQ(row.punch.card, expected.card);
    EXPECT_EQ(row.punch.local, expected.local);
    EXPECT_EQ(row.punch.utc, expected.utc);
    EXPECT_EQ(row.punch.flag, expected.flag);
    EXPECT_EQ(row.punch.keep, expected.keep);
    positions.push_back(row.punch.position);
  });
  EXPECT_EQ(positions, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(store_->LoadMark("gate-1"), MarkAfter(MakePunch(6)));
}

TEST_P(StoreTest, AFailedPageChangesNeitherMarkNorPunches) {
  const Mark before = MarkAfter(MakePunch(1));
  ASSERT_EQ(store_->StorePage("gate-1", collection_, Ids({0, 1}), before), 2);
  // Another program's rule refuses one card, as a full disk would refuse a row.
  Sql("CREATE TRIGGER refuse BEFORE INSERT ON punches WHEN NEW.card = 4242"
      " BEGIN SELECT RAISE(ABORT, 'card 4242 refused'); END",
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
      " IF NEW.card = 4242 THEN RAISE EXCEPTION 'card 4242 refused'; END IF; RETURN NEW; END $$;"
      " CREATE TRIGGER refuse BEFORE INSERT ON punches FOR EACH ROW EXECUTE FUNCTION refuse()");
  struct Case {
    const char* what;
    std::string terminal;
    std::vector<Punch> page;
    std::string reason;
  };
  const Case cases[] = {
      {"a row refused mid-page",
       "gate-1",
       {MakePunch(2), MakePunch(3, 4242), MakePunch(4)},
       "card 4242 refused"},
      {"a refused row first", "gate-1", {MakePunch(2, 4242), MakePunch(3)}, "card 4242 refused"},
      {"a terminal the store does not know",
       "gate-9",
       {},
       "gate-9: the terminal is not in the store"},
  };
  for (const Case& c : cases) {
    if (postgres()) store_->ClaimTerminal(c.terminal);
    try {
      store_->StorePage(c.terminal, collection_, c.page, MarkAfter(MakePunch(9)));
      ADD_FAILURE() << c.what << ": stored";
    } catch (const StoreError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
          << c.what << ": " << error.what();
    }
    EXPECT_EQ(store_->LoadMark("gate-1"), before) << c.what;
    EXPECT_EQ(CountPunches(*store_), 2) << c.what;
    EXPECT_EQ(store_->States()[0].punches, 2) << c.what;
  }
  EXPECT_EQ(store_->LoadMark("gate-9"), Mark{});
  // The store goes on after a failure.
  EXPECT_EQ(store_->StorePage("gate-1", collection_, Ids({2, 3}), MarkAfter(MakePunch(3))), 2);
}

TEST_P(StoreTest, ReopeningKeepsEverythingAndANewerSchemaIsRefused) {
  store_->StorePage("gate-1", collection_, Ids({0, 1}), MarkAfter(MakePunch(1)));
  store_.reset();
  const size_t newest = (postgres() ? PostgresSchema() : SqliteSchema()).size();
  EXPECT_EQ(SqlText("SELECT version FROM schema_version"), std::to_string(newest));

  store_ = Open();
  EXPECT_EQ(store_->LoadMark("gate-1"), MarkAfter(MakePunch(1)));
  EXPECT_EQ(CountPunches(*store_), 2);
  store_.reset();

  Sql("UPDATE schema_version SET version = 99", "UPDATE schema_version SET version = 99");
  try {
    Open();
    ADD_FAILURE() << "a store of schema version 99 opened";
  } catch (const StoreError& error) {
    EXPECT_NE(std::string(error.what()).find("schema is version 99"), std::string::npos)
        << error.what();
  }
  EXPECT_EQ(SqlText("SELECT version FROM schema_version"), "99");
}

TEST_P(StoreTest, ForEachPunchFiltersInOrderWithTheLatestNames) {
  store_->StorePage("gate-1", collection_,
                    std::vector<Punch>{
                        MakePunch(1, 100, At(2024, 3, 1, 8)), MakePunch(2, 200, At(2024, 3, 1, 17)),
                        MakePunch(3, 100, At(2024, 3, 2, 8)), MakePunch(4, 300, std::nullopt)},
                    MarkAfter(MakePunch(4)));
  store_->StorePage("gate-2", collection_, std::vector<Punch>{MakePunch(0, 100, At(2024, 3, 1, 9))},
                    Mark{});
  const UtcTime now{std::chrono::seconds{1'700'000'000}};
  store_->ReplaceCards("gate-1", std::vector<CardEntry>{{0, 100, "00000001", "Old", {}}}, now);
  store_->ReplaceCards("gate-1",
                       std::vector<CardEntry>{{0, 100, "00000001", "Ann", {0xC4}},
                                              {1, 100, "00000009", "Twice", {}},
                                              {2, 200, "00000002", "Bob", {}}},
                       now);
  store_->ReplaceCards("gate-2", std::vector<CardEntry>{{0, 100, "00000077", "Ann B", {}}}, now);

  const std::string a1 = "gate-1/1/00000001/Ann", a2 = "gate-1/2/00000002/Bob",
                    a3 = "gate-1/3/00000001/Ann", a4 = "gate-1/4//", b0 = "gate-2/0/00000077/Ann B";
  const std::optional<LocalTime> any;
  const std::optional<std::string> all;
  const std::optional<uint32_t> every;
  struct Case {
    const char* what;
    std::optional<LocalTime> from, to;
    std::optional<std::string> terminal;
    std::optional<uint32_t> card;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"everything, undated last", any, any, all, every, {a1, a2, a3, a4, b0}},
      {"one day", At(2024, 3, 1, 0), At(2024, 3, 2, 0), all, every, {a1, a2, b0}},
      {"from a time on", At(2024, 3, 1, 9), any, all, every, {a2, a3, b0}},
      {"one terminal", any, any, "gate-2", every, {b0}},
      {"one card", any, any, all, 100, {a1, a3, b0}},
      {"card and date", At(2024, 3, 2, 0), any, all, 100, {a3}},
      {"an undated card", any, any, "gate-1", 300, {a4}},
      {"no match", any, any, "gate-3", every, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> rows;
    PunchFilter filter;
    filter.from = c.from;
    filter.to = c.to;
    filter.terminal = c.terminal;
    filter.card = c.card;
    store_->ForEachPunch(filter, [&](const PunchRow& row) {
      rows.push_back(row.terminal + "/" + std::to_string(row.punch.position) + "/" + row.staff +
                     "/" + row.name);
    });
    EXPECT_EQ(rows, c.rows) << c.what;
  }
}

TEST_P(StoreTest, CollectionsAndStatesTellEachPoll) {
  const UtcTime t0{std::chrono::seconds{1'700'000'000}};
  const auto minutes = [&](int m) { return t0 + std::chrono::minutes{m}; };
  Collection good = CollectionOf("gate-1");
  good.started = t0;
  good.ended = minutes(1);
  good.count = 10;
  good.positions_fetched = 10;
  good.punches_added = 2;
  store_->StorePage("gate-1", collection_, Ids({0, 1}), MarkAfter(MakePunch(1)));
  store_->FinishCollection(collection_, good, std::nullopt);

  Collection bad = CollectionOf("gate-1");
  bad.started = minutes(5);
  bad.ended = minutes(6);
  bad.from_position = 2;
  bad.pages_lost = 1;
  bad.outcome = Outcome::kUnreachable;
  bad.error = "no answer";
  const int64_t second = store_->RecordCollection(bad, minutes(10));  // begun and finished
  EXPECT_THROW(store_->FinishCollection(second + 100, bad, std::nullopt), StoreError);

  const auto collections = store_->Collections("gate-1", 5);
  ASSERT_EQ(collections.size(), 2u);
  EXPECT_EQ(collections[0].id, second);
  EXPECT_EQ(collections[0].outcome, Outcome::kUnreachable);
  EXPECT_EQ(collections[0].error, "no answer");
  EXPECT_EQ(collections[0].count, std::nullopt);
  EXPECT_EQ(collections[0].pages_lost, 1);
  EXPECT_EQ(collections[1].ended, minutes(1));
  EXPECT_EQ(collections[1].count, 10);
  EXPECT_EQ(collections[1].punches_added, 2);
  EXPECT_EQ(store_->Collections("gate-1", 1).size(), 1u);
  const int64_t other = store_->BeginCollection(CollectionOf("gate-2"));
  std::vector<std::pair<int64_t, std::string>> every;
  for (const Collection& c : store_->Collections("", 5)) every.emplace_back(c.id, c.terminal);
  EXPECT_EQ(every, (std::vector<std::pair<int64_t, std::string>>{
                       {other, "gate-2"}, {second, "gate-1"}, {collection_, "gate-1"}}));

  const auto states = store_->States();
  ASSERT_EQ(states.size(), 2u);
  const TerminalState& gate = states[0];
  EXPECT_EQ(gate.info.name, "gate-1");
  EXPECT_EQ(gate.info.time_zone, "Asia/Shanghai");
  EXPECT_EQ(gate.last_poll, minutes(6));
  EXPECT_EQ(gate.last_success, minutes(1));  // the failed poll leaves it
  EXPECT_EQ(gate.count, 10);                 // and the last count answered
  EXPECT_EQ(gate.backoff_until, minutes(10));
  EXPECT_EQ(gate.last_error, "no answer");
  EXPECT_EQ(gate.punches, 2);
  EXPECT_EQ(gate.mark, MarkAfter(MakePunch(1)));
  EXPECT_EQ(states[1].info.name, "gate-2");
  EXPECT_EQ(states[1].last_poll, std::nullopt);

  // A terminal saved again keeps its mark and state.
  store_->SaveTerminal({"gate-1", "/dev/ttyUSB0", 7, "UTC"});
  const TerminalState again = store_->States()[0];
  EXPECT_EQ(again.info.endpoint, "/dev/ttyUSB0");
  EXPECT_EQ(again.info.address, 7);
  EXPECT_EQ(again.mark, gate.mark);
  EXPECT_EQ(again.last_success, gate.last_success);

  // A quiet answer moves the last poll and success only, with no row.
  store_->RecordAnswer("gate-2", minutes(20) - std::chrono::seconds(1), minutes(20));
  const TerminalState quiet = store_->States()[1];
  EXPECT_EQ(quiet.last_poll, minutes(20));
  EXPECT_EQ(quiet.last_success, minutes(20));
  EXPECT_EQ(quiet.complete_to, minutes(20) - std::chrono::seconds(1)) << "from when it was asked";
  EXPECT_EQ(store_->Collections("", 5).size(), 3u);
  EXPECT_THROW(store_->RecordAnswer("no such terminal", minutes(20), minutes(20)), StoreError);
}

TEST_P(StoreTest, FailingSinceIsTheFirstFailureAfterTheLastSuccess) {
  const UtcTime t0{std::chrono::seconds{1'700'000'000}};
  struct Poll {
    Outcome outcome;
    bool finished = true;
  };
  const Poll running{Outcome::kUnreachable, false};  // as a poll begins
  struct Case {
    const char* what;
    std::vector<Poll> polls;
    std::optional<int> since;  // the poll whose start it is
  };
  const Case cases[] = {
      {"never polled", {}, std::nullopt},
      {"succeeding", {{Outcome::kComplete}}, std::nullopt},
      {"failing from the first poll", {{Outcome::kUnreachable}, {Outcome::kPartial}}, 0},
      {"failing after a success",
       {{Outcome::kComplete}, {Outcome::kStoreFailed}, {Outcome::kUnreachable}},
       1},
      {"failing again after a recovery",
       {{Outcome::kPartial}, {Outcome::kCleared}, {Outcome::kUnreachable}, {Outcome::kPartial}},
       2},
      {"recovered", {{Outcome::kUnreachable}, {Outcome::kComplete}}, std::nullopt},
      {"a poll under way is no failure", {{Outcome::kComplete}, running}, std::nullopt},
      {"nor a success", {{Outcome::kPartial}, running}, 0},
  };
  // The terminals' polls interleave, as the fleet's do.
  const auto name = [](size_t i) { return "f-" + std::to_string(i); };
  const auto start = [&](size_t i, size_t poll) {
    return t0 + std::chrono::hours{i} + std::chrono::minutes{poll};
  };
  for (size_t i = 0; i < std::size(cases); ++i) store_->SaveTerminal({name(i), "x", 1, "UTC"});
  for (size_t poll = 0; poll < 4; ++poll) {
    for (size_t i = 0; i < std::size(cases); ++i) {
      if (poll >= cases[i].polls.size()) continue;
      Collection collection = CollectionOf(name(i));
      collection.started = start(i, poll);
      collection.outcome = Outcome::kUnreachable;
      const int64_t id = store_->BeginCollection(collection);
      if (!cases[i].polls[poll].finished) continue;
      collection.ended = collection.started + std::chrono::seconds{30};
      collection.outcome = cases[i].polls[poll].outcome;
      store_->FinishCollection(id, collection, std::nullopt);
    }
  }
  const auto states = store_->States();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto state = std::find_if(states.begin(), states.end(),
                                    [&](const TerminalState& s) { return s.info.name == name(i); });
    ASSERT_NE(state, states.end());
    const auto since = cases[i].since;
    EXPECT_EQ(state->failing_since,
              since ? std::optional(start(i, static_cast<size_t>(*since))) : std::nullopt)
        << cases[i].what;
  }
}

TEST_P(StoreTest, CardsAreTheListAsLastCollected) {
  const UtcTime t1{std::chrono::seconds{1'700'000'000}};
  const UtcTime t2 = t1 + std::chrono::hours{1};
  store_->ReplaceCards("gate-1", std::vector<CardEntry>{{0, 100, "00000001", "Old", {}}}, t1);
  store_->ReplaceCards("gate-1",
                       std::vector<CardEntry>{{1, 300, "00000003", "张三", {0xD5, 0xC5}},
                                              {0, 200, "00000002", "Ann", {0x41}}},
                       t2);
  store_->ReplaceCards("gate-2", {}, t1);
  store_->SaveTerminal({"gate-3", "x", 1, "UTC"});

  const auto entries = [&](const std::string& terminal) {
    const CardList list = store_->Cards(terminal);
    std::vector<std::string> texts;
    for (const CardEntry& c : list.cards) {
      texts.push_back(std::to_string(c.position) + "/" + std::to_string(c.card) + "/" + c.staff +
                      "/" + c.name + "/" + std::string(c.raw_name.begin(), c.raw_name.end()));
    }
    return std::pair(list.collected, texts);
  };
  using Entries = std::pair<std::optional<UtcTime>, std::vector<std::string>>;
  EXPECT_EQ(entries("gate-1"),
            Entries(t2, {"0/200/00000002/Ann/A", "1/300/00000003/张三/\xD5\xC5"}));
  EXPECT_EQ(entries("gate-2"), Entries(t1, {}));            // collected, empty
  EXPECT_EQ(entries("gate-3"), Entries(std::nullopt, {}));  // never collected
  EXPECT_EQ(entries("gate-9"), Entries(std::nullopt, {}));  // unknown
}

TEST_P(StoreTest, AnOlderStoreIsBroughtUpToDate) {
  const std::span<const std::string_view> versions = postgres() ? PostgresSchema() : SqliteSchema();
  for (const size_t from : {size_t{1}, size_t{3}}) {
    SCOPED_TRACE("from version " + std::to_string(from));
    // A store as version `from` left it: version 1's statements and rows
    // written by SQL, then the later versions' statements, which bring
    // those rows along as they did.
    store_.reset();
    const auto blob = [&](const std::string& hex) {
      return postgres() ? "'\\x" + hex + "'" : "X'" + hex + "'";
    };
    std::string sql =
        std::string(versions[0]) +
        "CREATE TABLE schema_version (version integer NOT NULL);"
        "INSERT INTO schema_version VALUES (1);"
        "INSERT INTO terminals (name, endpoint, address, time_zone) VALUES"
        " ('gate-1', 'x', 1, 'UTC'), ('gate-2', 'x', 1, 'UTC');"
        "INSERT INTO collections (terminal, started, ended, from_position,"
        " positions_fetched, punches_added, pages_lost, outcome) VALUES"
        " ('gate-1', '2024-03-01T08:00:00Z', '2024-03-01T08:01:00Z', 0, 0, 0, 0, 'complete'),"
        " ('gate-1', '2024-03-01T09:00:00Z', '2024-03-01T09:01:00Z', 0, 0, 0, 0, 'partial');"
        "INSERT INTO cards (terminal, position, card, staff, name, raw_name, collected)"
        " VALUES ('gate-2', 0, 100, '00000001', 'Ann', " +
        blob("41") + ", '2024-03-01T07:00:00Z');";
    const auto hex = [](std::span<const uint8_t> bytes) {
      std::string text;
      for (uint8_t b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
      }
      return text;
    };
    const auto punch = [&](const std::string& terminal, int id, const std::string& local) {
      const Punch made = MakePunch(id);
      return "INSERT INTO punches (terminal, card, local_time, flag, keep, bytes, raw, position,"
             " collection) VALUES ('" +
             terminal + "', 100, " + local + ", 0, 0, " + blob(hex(made.bytes)) + ", " +
             blob(hex(made.raw)) + ", " + std::to_string(id) + ", 1);";
    };
    sql += punch("gate-1", 1, "'2024-03-01 08:00:00'") + punch("gate-1", 2, "NULL") +
           punch("gate-1", 3, "'2024-03-02 08:00:00'") + punch("gate-2", 1, "NULL") +
           punch("gate-2", 2, "'2024-03-01 08:00:00'");
    for (size_t version = 1; version < from; ++version) sql += versions[version];
    sql += "UPDATE schema_version SET version = " + std::to_string(from) + ";";
    if (from >= 3) {
      sql +=
          "INSERT INTO cardholders (card, staff, name, terminals) VALUES (5, '5', 'Eve', '*');"
          "INSERT INTO card_audit (at, actor, card, action, what)"
          " VALUES ('2024-03-01T10:00:00Z', 'cli', 5, 'add', 'Eve');";
    }
    // A database of its own: no table of a later version is left.
    std::filesystem::remove(folder_ / "punches.db");
    Sql(sql, "DROP SCHEMA public CASCADE; CREATE SCHEMA public;" + sql);

    store_ = Open();
    EXPECT_EQ(SqlText("SELECT version FROM schema_version"), std::to_string(versions.size()));
    const auto counts = [&] {
      std::vector<std::pair<int64_t, int64_t>> pairs;  // kept, counted
      for (const TerminalState& state : store_->States()) {
        pairs.emplace_back(state.punches, CountPunches(*store_, TerminalFilter(state.info.name)));
      }
      return pairs;
    };
    using Counts = std::vector<std::pair<int64_t, int64_t>>;
    EXPECT_EQ(counts(), (Counts{{3, 3}, {2, 2}}));
    EXPECT_EQ(store_->States()[0].failing_since, UtcTime{At(2024, 3, 1, 9).time_since_epoch()});
    EXPECT_EQ(store_->Cards("gate-2").collected, UtcTime{At(2024, 3, 1, 7).time_since_epoch()});
    PunchFilter named;
    named.name = "ANN";
    const PunchPage page = store_->SearchPunches(named, std::nullopt, 10);
    ASSERT_EQ(page.rows.size(), 2u);
    EXPECT_EQ(page.rows[0].terminal, "gate-2");
    EXPECT_EQ(page.rows[0].punch.position, 2);  // dated before undated
    EXPECT_EQ(page.rows[1].punch.position, 1);
    EXPECT_EQ(store_->Cardholders().size(), from >= 3 ? 1u : 0u);
    EXPECT_EQ(store_->CardholdersVersion(), from >= 3 ? 1 : 0);

    // The count moves by the punches each page adds, not by those it brings.
    ASSERT_TRUE(store_->ClaimTerminal("gate-1"));
    EXPECT_EQ(store_->StorePage("gate-1", 1, Ids({3, 4, 4}), MarkAfter(MakePunch(4))), 1);
    EXPECT_EQ(store_->StorePage("gate-1", 1, Ids({4, 5, 6}), MarkAfter(MakePunch(6))), 2);
    EXPECT_EQ(counts(), (Counts{{6, 6}, {2, 2}}));
  }
}

}  // namespace
}  // namespace tallygate::collector
