// A collector test run once on SQLite and once on a PostgreSQL server of its
// own, with the simulator: skipped where either is missing.
#ifndef TALLYGATE_TESTS_COLLECTOR_EACH_STORE_H_
#define TALLYGATE_TESTS_COLLECTOR_EACH_STORE_H_

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "sim/client/sim_process.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::testing {

enum class StoreKind { kSqlite, kPostgres };

class EachStoreTest : public ::testing::TestWithParam<StoreKind> {
 protected:
  // `sqlite_file`: the SQLite database's name in dir_.
  explicit EachStoreTest(std::string sqlite_file) : sqlite_file_(std::move(sqlite_file)) {}

  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    if (GetParam() == StoreKind::kPostgres) {
      if (PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
      server_.emplace();
      database_ = server_->Uri();
    } else {
      database_ = "sqlite:" + (dir_ / sqlite_file_).string();
    }
  }

  TempDir dir_;
  std::optional<PostgresServer> server_;
  std::string database_;

 private:
  const std::string sqlite_file_;
};

// The suffix of each instance's name: "Sqlite", "Postgres".
inline std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::kSqlite ? "Sqlite" : "Postgres";
}

#define TALLYGATE_ON_EACH_STORE(fixture)                                               \
  INSTANTIATE_TEST_SUITE_P(Stores, fixture,                                            \
                           ::testing::Values(::tallygate::testing::StoreKind::kSqlite, \
                                             ::tallygate::testing::StoreKind::kPostgres), \
                           ::tallygate::testing::StoreKindName)

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_COLLECTOR_EACH_STORE_H_
