// What both stores must do alike: each punch once, a page whole or not at
// all, the schema's versions, searches and the terminals' state.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "collector/store/sqlite_session.h"
#include "collector/store/store.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using tallygate::testing::PostgresServer;
using tallygate::testing::TempDir;

class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  bool postgres() const { return GetParam() == "postgresql"; }

  void SetUp() override {
    if (postgres()) {
      if (PostgresServer::Programs().empty()) {
        GTEST_SKIP() << "no PostgreSQL server programs in /usr/lib/postgresql/*/bin"
                        " (Debian package postgresql)";
      }
      server_ = std::make_unique<PostgresServer>();
      database_ = server_->Uri();
    } else {
      database_ = "sqlite:" + (folder_ / "punches.db").string();
    }
    store_ = Open();
    for (const char* name : {"gate-1", "gate-2"}) {
      store_->SaveTerminal({name, "tcp://192.0.2.1:1001", 1, "Asia/Shanghai"});
      ASSERT_TRUE(store_->ClaimTerminal(name));
    }
    collection_ = store_->BeginCollection(CollectionOf("gate-1"));
  }

  std::unique_ptr<Store> Open() { return OpenStore(database_); }

  // SQL beside the store, as another program would run it.
  void Sql(const std::string& sqlite, const std::string& postgresql) {
    if (postgres()) {
      server_->Psql(postgresql);
    } else {
      SqliteSession(folder_ / "punches.db").ExecScript(sqlite);
    }
  }
  std::string SqlText(const std::string& query) {
    if (postgres()) return server_->Psql(query);
    std::string text;
    SqliteSession(folder_ / "punches.db").Query(query, {}, [&](const SqlRow& row) {
      text = row.Text(0);
    });
    return text;
  }

  TempDir folder_;
  std::unique_ptr<PostgresServer> server_;
  std::string database_;
  std::unique_ptr<Store> store_;
  int64_t collection_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& param_info) { return param_info.param; });

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
      {"a row refused mid-page", "gate-1", {MakePunch(2), MakePunch(3, 4242), MakePunch(4)},
       "card 4242 refused"},
      {"a refused row first", "gate-1", {MakePunch(2, 4242), MakePunch(3)}, "card 4242 refused"},
      {"a terminal the store does not know", "gate-9", {}, "gate-9: the terminal is not in the store"},
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
  }
  EXPECT_EQ(store_->LoadMark("gate-9"), Mark{});
  // The store goes on after a failure.
  EXPECT_EQ(store_->StorePage("gate-1", collection_, Ids({2, 3}), MarkAfter(MakePunch(3))), 2);
}

TEST_P(StoreTest, ReopeningKeepsEverythingAndANewerSchemaIsRefused) {
  store_->StorePage("gate-1", collection_, Ids({0, 1}), MarkAfter(MakePunch(1)));
  store_.reset();
  EXPECT_EQ(SqlText("SELECT version FROM schema_version"), "1");

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
                    std::vector<Punch>{MakePunch(1, 100, At(2024, 3, 1, 8)),
                                       MakePunch(2, 200, At(2024, 3, 1, 17)),
                                       MakePunch(3, 100, At(2024, 3, 2, 8)),
                                       MakePunch(4, 300, std::nullopt)},
                    MarkAfter(MakePunch(4)));
  store_->StorePage("gate-2", collection_,
                    std::vector<Punch>{MakePunch(0, 100, At(2024, 3, 1, 9))}, Mark{});
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
  const int64_t second = store_->BeginCollection(bad);
  store_->FinishCollection(second, bad, minutes(10));
  EXPECT_THROW(store_->FinishCollection(second + 100, bad, std::nullopt), StoreError);

  const auto collections = store_->Collections("gate-1", 5);
  ASSERT_EQ(collections.size(), 2u);
  EXPECT_EQ(collections[0].outcome, Outcome::kUnreachable);
  EXPECT_EQ(collections[0].error, "no answer");
  EXPECT_EQ(collections[0].count, std::nullopt);
  EXPECT_EQ(collections[0].pages_lost, 1);
  EXPECT_EQ(collections[1].ended, minutes(1));
  EXPECT_EQ(collections[1].count, 10);
  EXPECT_EQ(collections[1].punches_added, 2);
  EXPECT_EQ(store_->Collections("gate-1", 1).size(), 1u);

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
}

}  // namespace
}  // namespace tallygate::collector
