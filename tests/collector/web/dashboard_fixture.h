// The dashboard served on 127.0.0.1 over a real SQLite store holding
// kPunches punches of gate-1 and a card list with hostile names; the
// configuration has gate-1 and a terminal with quotes in its name.
#ifndef TALLYGATE_TESTS_COLLECTOR_WEB_DASHBOARD_FIXTURE_H_
#define TALLYGATE_TESTS_COLLECTOR_WEB_DASHBOARD_FIXTURE_H_

#include <gtest/gtest.h>
#include <httplib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/web/web_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector::web {

inline constexpr const char* kToken = "s3cret token";
inline constexpr const char* kAdminToken = "adm1n-token";
inline constexpr const char* kScript = "<script>alert(1)</script>";
inline constexpr const char* kImage = "\"><img src=x onerror=alert(1)>";
inline constexpr int kPunches = 2000;  // a download of several 64 KB chunks

inline LocalTime Day(int day, int seconds) {
  return LocalTime{std::chrono::local_days{std::chrono::year{2026} / 11 / day}.time_since_epoch() +
                   std::chrono::seconds{seconds}};
}

// Punch `i` of gate-1: cards 1234567 and 42 in turn, over 2 to 4 November.
inline Punch PunchNumber(int i) {
  Punch punch;
  punch.position = i;
  punch.card = i % 2 == 0 ? 1234567 : 42;
  punch.local = Day(2 + i % 3, i * 7);
  punch.utc = UtcTime{punch.local->time_since_epoch() - std::chrono::hours{8}};
  for (size_t b = 0; b < 4; ++b) punch.bytes[b] = static_cast<uint8_t>(i >> (8 * b));
  return punch;
}

// Stores punches `first` to `last` (excluded) of gate-1 as one collection.
inline void StorePunches(Store& store, int first, int last) {
  Collection collection;
  collection.terminal = "gate-1";
  collection.started = UtcTime{std::chrono::seconds{1'790'000'000}};
  const int64_t id = store.BeginCollection(collection);
  std::vector<Punch> punches;
  for (int i = first; i < last; ++i) punches.push_back(PunchNumber(i));
  store.StorePage("gate-1", id, punches, {last, punches.back().bytes, std::nullopt});
  collection.ended = collection.started + std::chrono::seconds{3};
  collection.count = last;
  collection.punches_added = last - first;
  store.FinishCollection(id, collection, std::nullopt);
}

// A client on a plain socket: sends the request as it is given and reads
// only when asked. A read gives up after 15 s, so that a server that never
// answers fails the test instead of hanging it.
class RawClient {
 public:
  // `receive_buffer` (bytes, 0: the system's) keeps a stalled client from
  // soaking up much of a download; `from` is the loopback address it comes
  // from (127.0.0.1 when empty), so that one test can play several clients.
  RawClient(int port, const std::string& request, int receive_buffer = 0,
            const std::string& from = "")
      : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (receive_buffer > 0) {
      setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    if (!from.empty()) {
      sockaddr_in source{};
      source.sin_family = AF_INET;
      inet_pton(AF_INET, from.c_str(), &source.sin_addr);
      EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&source), sizeof source), 0) << from;
    }
    const timeval limit{15, 0};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(send(socket_, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
  }
  ~RawClient() { close(socket_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  // The server closed the connection (rather than going quiet).
  bool closed() const { return closed_; }

  // Sends more of the request; false when the server took it no more.
  bool Send(std::string_view more) {
    return send(socket_, more.data(), more.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(more.size());
  }

  // Whether an answer has come, without waiting for one.
  bool Answered() {
    char byte;
    return recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0 || !pending_.empty();
  }

  // What came up to and with `end`, or all that came before the server
  // closed or went quiet.
  std::string ReadUntil(std::string_view end) {
    size_t found;
    while ((found = pending_.find(end)) == std::string::npos && Receive()) {
    }
    const size_t taken = found == std::string::npos ? pending_.size() : found + end.size();
    std::string text = pending_.substr(0, taken);
    pending_.erase(0, taken);
    return text;
  }

  // All that comes until the server closes (or goes quiet).
  std::string ReadToEnd() {
    while (Receive()) {
    }
    return std::exchange(pending_, {});
  }

 private:
  bool Receive() {
    char buffer[16384];
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got > 0) pending_.append(buffer, static_cast<size_t>(got));
    closed_ |= got == 0;
    return got > 0;
  }

  int socket_;
  std::string pending_;
  bool closed_ = false;
};

class DashboardServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = "sqlite:" + (dir_ / "punches.db").string();
    std::unique_ptr<Store> store = OpenStore(database_);
    store->SaveTerminal({"gate-1", "tcp://127.0.0.1:1001", 1, "Asia/Shanghai"});
    StorePunches(*store, 0, kPunches);
    const std::vector<CardEntry> cards = {{0, 1234567, "00001234", kScript, {}},
                                          {1, 42, "00000042", kImage, {}}};
    store->ReplaceCards("gate-1", cards, UtcTime{std::chrono::seconds{1'790'000'003}});
  }

  void Serve(const std::string& token = "", StorePool::Opener open = OpenStore,
             std::chrono::seconds stall_timeout = std::chrono::seconds{10}) {
    WebOptions options{"127.0.0.1", 0, token, database_};
    options.stall_timeout = stall_timeout;
    options.admins = admins_;
    options.stored = &stored_;
    server_ = std::make_unique<WebServer>(options, &metrics_, std::move(open));
    server_->Start();
    Attach({"gate-1", "odd\"name\\"});
  }

  // The configuration the service attaches at a start or a reload.
  void Attach(const std::vector<std::string>& terminals) {
    auto config = std::make_shared<CollectorConfig>();
    config->database = database_;
    for (const std::string& name : terminals) config->terminals.emplace_back().name = name;
    server_->Attach(config, [this](const std::string& name) {
      polled_.push_back(name);
      return true;
    });
  }

  httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", server_->port());
    // A download of many punches takes seconds to start under the
    // sanitizers, on a loaded machine longer than the client's default 5 s.
    client.set_read_timeout(std::chrono::seconds{60});
    return client.Get(path, headers);
  }

  // A browser session of the admin: its cookie, its own Origin, and the
  // form token its pages carry.
  httplib::Headers AdminSession() {
    httplib::Headers headers = {{"Cookie", std::string("tallygate_token=") + kAdminToken},
                                {"Origin", Origin()}};
    const auto page = Get("/cardholders", headers);
    std::smatch found;
    if (page && std::regex_search(page->body, found, std::regex("name=\"csrf\" value=\"([0-9a-f]+)\""))) {
      csrf_ = found[1];
    }
    EXPECT_FALSE(csrf_.empty()) << "the admin's page has no form token";
    return headers;
  }

  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(server_->port()); }

  testing::TempDir dir_;
  std::string database_;
  PollMetrics metrics_;
  PunchSignal stored_;  // as the service's: told after punches are stored
  std::unique_ptr<WebServer> server_;
  std::vector<std::string> polled_;
  std::vector<AdminToken> admins_ = {{"alice", kAdminToken}};
  std::string csrf_;  // AdminSession's
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_TESTS_COLLECTOR_WEB_DASHBOARD_FIXTURE_H_
