// The CSV download against slow and stalled clients and against punches
// stored while it runs: what it holds of the store and of the workers, and
// what its rows are.
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "collector/export/punch_export.h"
#include "collector/web/routes.h"
#include "tests/collector/web/dashboard_fixture.h"

namespace tallygate::collector::web {
namespace {

constexpr const char* kDownloadRequest = "GET /punches.csv HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
constexpr int kTinyBuffer = 4096;
constexpr int kMany = 80'000;  // about 7 MB of CSV, far more than the sockets hold

class DashboardDownloadTest : public DashboardServerTest {
 protected:
  // kMany punches, served by a dashboard that counts the store connections
  // it opens.
  void ServeMany(std::chrono::seconds stall_timeout) {
    StorePunches(*OpenStore(database_), kPunches, kMany);
    const StorePool::Opener counted = [this](const std::string& database) {
      ++opened_;
      return OpenStore(database);
    };
    Serve("", counted, stall_timeout);
  }

  std::atomic<int> opened_ = 0;
};

TEST_F(DashboardDownloadTest, StalledDownloadsHoldNoStoreConnectionAndLeaveWorkersForTheRest) {
  ServeMany(std::chrono::seconds{60});
  std::vector<std::unique_ptr<RawClient>> stalled;
  int sending = 0;
  int refused = 0;
  for (size_t i = 0; i < kWorkers; ++i) {
    auto client = std::make_unique<RawClient>(server_->port(), kDownloadRequest, kTinyBuffer);
    const std::string head = client->ReadUntil("\r\n\r\n");
    if (head.starts_with("HTTP/1.1 200 ")) {
      ++sending;
      EXPECT_FALSE(client->ReadUntil("\r\n").empty()) << "the first chunk";
    } else {
      ++refused;
      EXPECT_TRUE(head.starts_with("HTTP/1.1 503 ")) << head;
      EXPECT_NE(head.find("Retry-After: "), std::string::npos) << head;
      EXPECT_NE(client->ReadUntil("again in a moment.\n").find("downloads are running"),
                std::string::npos);
    }
    stalled.push_back(std::move(client));
  }
  EXPECT_EQ(sending, static_cast<int>(kDownloads));
  EXPECT_EQ(refused, static_cast<int>(kWorkers - kDownloads));
  // Each stalled download sends from its file, its store connection back
  // in the pool (so each download, and what follows, took the same one),
  // and the others are served.
  httplib::Client client("127.0.0.1", server_->port());
  client.set_read_timeout(std::chrono::seconds{5});
  for (const char* path : {"/healthz", "/api/terminals"}) {
    const auto result = client.Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 200) << path;
  }
  // The places are every download's, the timesheet's too.
  const auto timesheet = client.Get("/timesheet.csv");
  ASSERT_TRUE(timesheet);
  EXPECT_EQ(timesheet->status, 503);
  EXPECT_EQ(opened_, 1);
}

TEST_F(DashboardDownloadTest, AStalledClientIsDroppedAtTheStallTimeoutAndItsPlaceFreed) {
  ServeMany(std::chrono::seconds{1});
  std::vector<std::unique_ptr<RawClient>> stalled;
  for (size_t i = 0; i < kDownloads; ++i) {
    stalled.push_back(std::make_unique<RawClient>(server_->port(), kDownloadRequest, kTinyBuffer));
    ASSERT_TRUE(stalled.back()->ReadUntil("\r\n\r\n").starts_with("HTTP/1.1 200 "));
  }
  std::this_thread::sleep_for(std::chrono::seconds{3});
  for (auto& client : stalled) {
    // Cut short: the server closed before the last chunk.
    const std::string rest = client->ReadToEnd();
    EXPECT_TRUE(client->closed());
    EXPECT_FALSE(rest.ends_with("\r\n0\r\n\r\n")) << rest.size() << " bytes";
  }
  const auto next = Get("/punches.csv");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->status, 200);
  EXPECT_EQ(std::count(next->body.begin(), next->body.end(), '\n'), 1 + kMany);
}

// What a download started at T holds: every punch stored before T, once,
// in the export's order; of those stored meanwhile, a first few in order
// of storing, or none.
TEST_F(DashboardDownloadTest, ADownloadWhilePunchesArriveHoldsEachOnceAndAllThatWereThere) {
  Serve();
  // The pool's connection opened (and the schema checked) before the
  // writes begin; they come with a pause, as a poll's pages do.
  const auto warm = Get("/healthz");
  ASSERT_TRUE(warm && warm->status == 200);
  std::atomic<int> added = 0;
  std::atomic<bool> stop = false;
  std::thread adder([&] {
    std::unique_ptr<Store> store = OpenStore(database_);
    for (int i = kPunches; !stop; ++i) {
      StorePunches(*store, i, i + 1);
      ++added;
      std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
  });
  while (added < 5) std::this_thread::yield();
  const int before = kPunches + added;
  const auto download = Get("/punches.csv");
  while (added < before - kPunches + 5) std::this_thread::yield();
  stop = true;
  adder.join();
  ASSERT_TRUE(download);
  ASSERT_EQ(download->status, 200);

  std::map<int, int> times;  // by position, the last column
  size_t start = download->body.find('\n') + 1;
  for (size_t end; (end = download->body.find('\n', start)) != std::string::npos; start = end + 1) {
    const size_t comma = download->body.rfind(',', end);
    ++times[std::stoi(download->body.substr(comma + 1, end - comma - 1))];
  }
  for (const auto& [position, count] : times) EXPECT_EQ(count, 1) << "position " << position;
  ASSERT_FALSE(times.empty());
  const int last = times.rbegin()->first;
  EXPECT_GE(last + 1, before) << "a punch stored before the download is missing";
  EXPECT_EQ(times.size(), static_cast<size_t>(last + 1)) << "a gap";
  // The rows are the export's, as if the download had been the only reader.
  std::string expected = ExportHeader(ExportFormat::kCsv);
  OpenStore(database_)->ForEachPunch({}, [&](const PunchRow& row) {
    if (row.punch.position <= last) expected += ExportRow(row, ExportFormat::kCsv);
  });
  EXPECT_TRUE(download->body == expected);
}

}  // namespace
}  // namespace tallygate::collector::web
