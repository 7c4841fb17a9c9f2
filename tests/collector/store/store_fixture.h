// The store tests' fixture: each test on a fresh SQLite file and on a fresh
// throwaway PostgreSQL server (skipped without one), with terminals gate-1
// and gate-2 saved and claimed and a collection of gate-1 begun.
#ifndef TALLYGATE_TESTS_COLLECTOR_STORE_STORE_FIXTURE_H_
#define TALLYGATE_TESTS_COLLECTOR_STORE_STORE_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "collector/store/sqlite_session.h"
#include "collector/store/store.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {

class StoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  bool postgres() const { return GetParam() == "postgresql"; }

  void SetUp() override {
    if (postgres()) {
      if (testing::PostgresServer::Programs().empty()) {
        GTEST_SKIP() << "no PostgreSQL server programs in /usr/lib/postgresql/*/bin"
                        " (Debian package postgresql)";
      }
      server_ = std::make_unique<testing::PostgresServer>();
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

  testing::TempDir folder_;
  std::unique_ptr<testing::PostgresServer> server_;
  std::string database_;
  std::unique_ptr<Store> store_;
  int64_t collection_ = 0;
};

// Each file of tests runs its suite over both stores:
//   INSTANTIATE_TEST_SUITE_P(Stores, SUITE, StoreKinds(), StoreKindName);
inline auto StoreKinds() { return ::testing::Values("sqlite", "postgresql"); }
inline std::string StoreKindName(const ::testing::TestParamInfo<std::string>& info) {
  return info.param;
}

}  // namespace tallygate::collector

#endif  // TALLYGATE_TESTS_COLLECTOR_STORE_STORE_FIXTURE_H_
