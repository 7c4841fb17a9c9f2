// /api/events, the live feed, over a real SQLite store: every punch once,
// in id order, across a reconnect; the same refusals as the JSON API; a
// bounded number of streams.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "collector/web/routes.h"
#include "tests/collector/web/dashboard_fixture.h"

namespace tallygate::collector::web {
namespace {

struct Event {
  int64_t id;
  nlohmann::json data;
};

class EventsTest : public DashboardServerTest {
 protected:
  // A stream opened with `headers` (lines ending in \r\n); its answer's
  // head read.
  std::unique_ptr<RawClient> Open(const std::string& target, const std::string& headers = "") {
    auto client = std::make_unique<RawClient>(
        server_->port(), "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Accept-Encoding: gzip, deflate\r\n" + headers + "\r\n");
    head_ = client->ReadUntil("\r\n\r\n");
    return client;
  }

  // Events read until the one with id `last` (or the stream ended, or 30 s
  // passed: keep-alives come meanwhile).
  static std::vector<Event> ReadThrough(RawClient& client, int64_t last) {
    static const std::regex kEvent("id: (\\d+)\ndata: ([^\n]*)\n\n");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds{30};
    std::vector<Event> events;
    std::string text;
    while ((events.empty() || events.back().id < last) && std::chrono::steady_clock::now() < until) {
      const std::string more = client.ReadUntil("\n\n");
      if (more.empty()) break;
      text += more;
      std::smatch found;
      while (std::regex_search(text, found, kEvent)) {
        events.push_back({std::stoll(found[1]), nlohmann::json::parse(found[2].str())});
        text = found.suffix();
      }
    }
    return events;
  }

  // Punches `first` to `last` stored by "the poller": another connection,
  // then the news.
  void StoreAndTell(int first, int last) {
    StorePunches(*OpenStore(database_), first, last);
    stored_.Stored();
  }

  std::string head_;
};

TEST_F(EventsTest, EveryPunchArrivesOnceInIdOrderAcrossAReconnect) {
  Serve();
  std::vector<Event> seen;
  {
    // Without an id: only punches stored from now on.
    auto client = Open("/api/events");
    EXPECT_NE(head_.find("text/event-stream"), std::string::npos) << head_;
    EXPECT_EQ(head_.find("Content-Encoding"), std::string::npos) << head_;
    EXPECT_NE(client->ReadUntil("retry: 2000\n\n").find("retry: 2000"), std::string::npos);
    StoreAndTell(kPunches, kPunches + 10);
    seen = ReadThrough(*client, kPunches + 10);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().id, kPunches + 1);
    EXPECT_EQ(seen.front().data["position"], kPunches);
    EXPECT_EQ(seen.front().data["terminal"], "gate-1");
    EXPECT_EQ(seen.front().data["name"], kScript);  // the JSON as the API gives it
  }
  const auto read_on = [&seen](RawClient& client, int64_t last) {
    for (Event& event : ReadThrough(client, last)) seen.push_back(std::move(event));
  };
  // Gone mid-way; more than a read's batch stored meanwhile.
  StoreAndTell(kPunches + 10, kPunches + 1210);
  read_on(*Open("/api/events", "Last-Event-ID: " + std::to_string(seen.back().id) + "\r\n"),
          kPunches + 1210);
  auto client = Open("/api/events?after=" + std::to_string(seen.back().id));
  StoreAndTell(kPunches + 1210, kPunches + 1215);
  read_on(*client, kPunches + 1215);
  ASSERT_EQ(seen.size(), 1215u);
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].id, kPunches + 1 + static_cast<int64_t>(i));
    EXPECT_EQ(seen[i].data["position"], kPunches + static_cast<int64_t>(i));
  }
}

TEST_F(EventsTest, RefusedAsTheJsonApiIsAndBounded) {
  Serve(kToken);
  const std::string bearer = std::string("Authorization: Bearer ") + kToken + "\r\n";
  for (const std::string headers : {"", "Authorization: Bearer wrong\r\n",
                                    "Cookie: tallygate_token=s3cret\r\n"}) {
    Open("/api/punches?limit=1", headers);
    const std::string api = head_.substr(9, 3);
    Open("/api/events", headers);
    EXPECT_EQ(head_.substr(9, 3), api) << headers;
    EXPECT_EQ(api, "401") << headers;
  }
  for (const std::string id : {"12x", "-1", "1 2"}) {
    Open("/api/events", bearer + "Last-Event-ID: " + id + "\r\n");
    EXPECT_EQ(head_.substr(9, 3), "400") << id;
  }
  std::vector<std::unique_ptr<RawClient>> open;
  for (size_t i = 0; i < kFeeds; ++i) {
    open.push_back(Open("/api/events", bearer));
    EXPECT_EQ(head_.substr(9, 3), "200");
  }
  Open("/api/events", bearer);
  EXPECT_EQ(head_.substr(9, 3), "503");
  EXPECT_NE(head_.find("Retry-After"), std::string::npos);
  Open("/api/punches?limit=1", bearer);
  EXPECT_EQ(head_.substr(9, 3), "200") << "the pages have workers left";
}

}  // namespace
}  // namespace tallygate::collector::web
