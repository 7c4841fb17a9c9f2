// The listener against a real PostgreSQL server: punches another
// collector stores on the same database are signalled, before and after
// the server restarts under the listener.
#include "collector/feed/postgres_listener.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "tests/collector/store/store_testing.h"
#include "tests/support/postgres_server.h"

namespace tallygate::collector {
namespace {

using std::chrono::seconds;
using tallygate::testing::PostgresServer;

TEST(PostgresListenerTest, PunchesAnotherCollectorStoresAreSignalledAlsoAfterARestart) {
  if (PostgresServer::Programs().empty()) GTEST_SKIP() << "no PostgreSQL server programs";
  PostgresServer server;
  std::unique_ptr<Store> other = OpenStore(server.Uri());  // the other collector
  other->SaveTerminal({"gate-1", "tcp://192.0.2.1:1001", 1, "UTC"});
  ASSERT_TRUE(other->ClaimTerminal("gate-1"));
  const auto store_page = [&](int first) {
    const int64_t id = other->BeginCollection(CollectionOf("gate-1"));
    other->StorePage("gate-1", id, Page(first, 3), MarkAfter(MakePunch(first + 2)));
  };
  const auto listening = [&] {
    const auto until = std::chrono::steady_clock::now() + seconds{15};
    while (std::chrono::steady_clock::now() < until) {
      if (server.Psql("SELECT count(*) FROM pg_stat_activity WHERE query LIKE 'LISTEN %'")
              .starts_with("1")) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds{50});
    }
    return false;
  };
  const auto after = [](seconds wait) { return std::chrono::steady_clock::now() + wait; };

  PunchSignal signal;
  std::mutex mutex;
  std::vector<bool> reports;  // failed, for each
  PostgresListener listener(server.Uri(), signal, [&](const std::string&, bool failed) {
    std::lock_guard lock(mutex);
    reports.push_back(failed);
  });
  ASSERT_TRUE(listening());
  EXPECT_EQ(signal.Count(), 0u);
  store_page(0);
  const uint64_t first = signal.WaitPast(0, after(seconds{10}));
  EXPECT_GT(first, 0u) << "no signal for the other collector's page";

  // Notifications sent while the connection is lost are lost: the listener
  // signals once it listens again.
  server.Restart();
  const uint64_t back = signal.WaitPast(first, after(seconds{20}));
  EXPECT_GT(back, first) << "no signal after listening again";
  ASSERT_TRUE(listening());
  store_page(3);
  EXPECT_GT(signal.WaitPast(back, after(seconds{10})), back) << "no signal after the restart";
  std::lock_guard lock(mutex);
  EXPECT_EQ(reports, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace tallygate::collector
