// Two collectors deliver one webhook sink from one PostgreSQL database.
// The first loses its database session while the receiver holds its post;
// the second claims the sink and delivers on. When the first's post is
// answered at last, its save must change nothing: the position never goes
// back, and no punch reaches the receiver under a second delivery id.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <utility>

#include "collector/deliver/webhook_sink.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using testing::PostgresServer;
using testing::WaitUntil;

// This process's standard error, the log, into a file while it lives.
class CapturedLog {
 public:
  explicit CapturedLog(std::filesystem::path file) : file_(std::move(file)) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~CapturedLog() {
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  std::string Text() const { return testing::ReadFile(file_); }

 private:
  std::filesystem::path file_;
  int saved_ = -1;
};

// Accepts every batch, but holds the first request until released.
class HoldingReceiver {
 public:
  HoldingReceiver() {
    server_.Post("/punches", [this](const httplib::Request& request, httplib::Response&) {
      const nlohmann::json body = nlohmann::json::parse(request.body);
      std::unique_lock lock(mutex_);
      for (const auto& punch : body["punches"]) {
        deliveries_[punch["id"].get<int64_t>()].insert(body["delivery"].get<std::string>());
      }
      if (std::exchange(first_, false)) released_.wait(lock, [this] { return release_; });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~HoldingReceiver() {
    Release();
    server_.stop();
    thread_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/punches"; }
  void Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
  }
  // Each punch received, with the delivery ids it came under.
  std::map<int64_t, std::set<std::string>> deliveries() {
    std::lock_guard lock(mutex_);
    return deliveries_;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool first_ = true;
  bool release_ = false;
  std::map<int64_t, std::set<std::string>> deliveries_;
};

TEST(SinkClaimTest, ACollectorThatLostTheClaimMidPostSavesNothing) {
  if (PostgresServer::Programs().empty()) GTEST_SKIP() << "no PostgreSQL server programs";
  PostgresServer server;
  constexpr int kPunches = 6;
  {
    const auto store = OpenStore(server.Uri());
    store->SaveTerminal({"gate-1", "tcp://192.0.2.1:1001", 1, "UTC"});
    ASSERT_TRUE(store->ClaimTerminal("gate-1"));
    store->StorePage("gate-1", store->BeginCollection(CollectionOf("gate-1")), Page(0, kPunches),
                     MarkAfter(MakePunch(kPunches - 1)));
  }  // its claim on the terminal ends with it: the sink's is the only lock left
  const auto reader = OpenStore(server.Uri());
  const int64_t last = reader->LastPunchId();
  const auto position = [&] { return reader->LoadSink("payroll").value_or(SinkState{}).position; };

  testing::TempDir dir;
  CapturedLog log(dir / "log");
  HoldingReceiver receiver;
  DeliverConfig config;
  config.name = "payroll";
  config.url = receiver.url();
  config.batch = kPunches / 2;
  PunchSignal stored;
  WebhookSink first(config, server.Uri(), stored);
  WebhookSink second(config, server.Uri(), stored);
  std::jthread a([&](std::stop_token stop) { first.Run(stop); });
  ASSERT_TRUE(WaitUntil([&] { return !receiver.deliveries().empty(); }, 20s)) << log.Text();

  const std::string ended = server.Psql(
      "SELECT pg_terminate_backend(pid, 10000) FROM pg_locks WHERE locktype = 'advisory'");
  EXPECT_EQ(ended.substr(0, 1), "t") << ended;
  std::jthread b([&](std::stop_token stop) { second.Run(stop); });
  ASSERT_TRUE(WaitUntil([&] { return position() == last; }, 20s)) << log.Text();

  receiver.Release();  // the first's post succeeds now
  EXPECT_TRUE(WaitUntil(
      [&] {
        return log.Text().find("claim on the sink was lost") != std::string::npos ||
               position() != last;
      },
      20s))
      << log.Text();
  a.request_stop();
  a.join();
  EXPECT_EQ(position(), last) << "the position went back\n" << log.Text();
  const auto deliveries = receiver.deliveries();
  EXPECT_EQ(deliveries.size(), static_cast<size_t>(kPunches));
  for (const auto& [id, ids] : deliveries) {
    EXPECT_EQ(ids.size(), 1u) << "punch " << id << " under " << ids.size() << " delivery ids";
  }
}

}  // namespace
}  // namespace tallygate::collector
