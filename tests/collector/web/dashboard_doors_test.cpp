// The dashboard's front door against hostile and clumsy clients, over
// loopback: bodies and heads beyond their bounds, clients that stall,
// crowd in or guess tokens, and a refused request's unread body.
#include <atomic>
#include <thread>

#include "collector/web/routes.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/web/dashboard_fixture.h"

namespace tallygate::collector::web {
namespace {

using std::chrono::milliseconds;

std::string Head(const std::string& line, const std::string& headers = "") {
  return line + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

std::string ManyHeaders(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "X-" + std::to_string(i) + ": 1\r\n";
  return lines;
}

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

TEST_F(DashboardServerTest, RequestsBeyondTheirBoundsAreRefusedBeforeTheirBodyIsRead) {
  Serve();
  struct Case {
    std::string request;
    std::string status;
    std::string reason;
  };
  const Case cases[] = {
      // A body announced, of which only a little ever comes.
      {Head("POST /login", "Content-Length: 2147483648\r\n") + "token=", "413",
       "may be at most 4096 bytes"},
      {Head("POST /api/cardholders/import", "Content-Length: 16777217\r\n"), "413",
       "{\"error\":\"the body of POST /api/cardholders/import may be at most 16777216"},
      {Head("POST /api/cardholders", "Content-Length: 65537\r\n"), "413", "at most 65536"},
      {Head("POST /login", "Transfer-Encoding: chunked\r\n") + "5\r\ntoken\r\n", "411",
       "Content-Length"},
      {Head("POST /login", "Content-Encoding: gzip\r\nContent-Length: 10\r\n"), "415",
       "compressed"},
      {Head("GET /terminals", ManyHeaders(70)), "431", "more than 64 header lines"},
      {Head("GET /terminals", "Cookie: " + std::string(40000, 'a') + "\r\n"), "431",
       "longer than 32768 bytes"},
      {"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", "400", "not an HTTP request"},
  };
  for (const Case& c : cases) {
    RawClient client(server_->port(), c.request);
    const std::string answer = client.ReadToEnd();
    EXPECT_EQ(StatusLine(answer).substr(9, 3), c.status) << c.request.substr(0, 60) << "\n" << answer;
    EXPECT_NE(answer.find(c.reason), std::string::npos) << answer;
    EXPECT_TRUE(client.closed()) << c.request.substr(0, 60);
  }
}

TEST_F(DashboardServerTest, ARefusedRequestsUnreadBodyIsNeverReadAsARequest) {
  Serve();
  const std::string smuggled = Head("GET /api/terminals");
  RawClient client(server_->port(),
                   Head("POST /api/cardholders", "Content-Type: application/json\r\nContent-Length: " +
                                                     std::to_string(smuggled.size()) + "\r\n"));
  // The body a moment after the head: read, if at all, as a request apart.
  std::this_thread::sleep_for(milliseconds(200));
  client.Send(smuggled);
  const std::string answers = client.ReadToEnd();
  EXPECT_EQ(StatusLine(answers), "HTTP/1.1 401 Unauthorized") << answers;
  EXPECT_EQ(answers.find("HTTP/1.1", 1), std::string::npos) << "a second answer:\n" << answers;
  EXPECT_NE(answers.find("Connection: close"), std::string::npos) << answers;
  EXPECT_TRUE(client.closed());
}

TEST_F(DashboardServerTest, ClientsThatStallHoldNoWorkerAndAHeadMustComeWhole) {
  WebOptions options{"127.0.0.1", 0, "", database_};
  options.limits.head_deadline = std::chrono::seconds{30};
  server_ = std::make_unique<WebServer>(options, &metrics_);
  server_->Start();
  Attach({"gate-1"});
  // Twice as many stalling clients as there are workers, from two
  // addresses: each sends a header line every 300 ms, or a body's first
  // bytes and no more.
  std::vector<std::unique_ptr<RawClient>> stalling;
  for (size_t i = 0; i < kWorkers; ++i) {
    stalling.push_back(std::make_unique<RawClient>(server_->port(), "GET /healthz HTTP/1.1\r\n", 0,
                                                   "127.0.0.1"));
    stalling.push_back(std::make_unique<RawClient>(
        server_->port(), Head("POST /login", "Content-Length: 1000\r\n") + "token=", 0, "127.0.0.3"));
  }
  std::atomic<bool> done = false;
  std::atomic<int> rounds = 0;
  std::thread trickle([&] {
    for (; !done && rounds < 100; ++rounds) {
      for (size_t i = 0; i < stalling.size(); i += 2) stalling[i]->Send("X-Slow: 1\r\n");
      std::this_thread::sleep_for(milliseconds(300));
    }
  });
  while (rounds < 2) std::this_thread::sleep_for(milliseconds(50));
  for (const char* path : {"/healthz", "/terminals", "/api/terminals"}) {
    RawClient other(server_->port(), Head(std::string("GET ") + path), 0, "127.0.0.2");
    const std::string answer = other.ReadUntil("\r\n\r\n");
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 200 OK") << path;
    EXPECT_LT(rounds, 100) << path << " was answered only after the stalling clients stopped";
  }
  done = true;
  trickle.join();
  for (const auto& client : stalling) EXPECT_FALSE(client->Answered()) << "a stalled request was served";

  // A head that does not come whole in time is answered 408 and closed.
  options.limits.head_deadline = std::chrono::seconds{1};
  server_ = std::make_unique<WebServer>(options, &metrics_);
  server_->Start();
  RawClient slow(server_->port(), "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n");
  const std::string answer = slow.ReadToEnd();
  EXPECT_EQ(StatusLine(answer), "HTTP/1.1 408 Request Timeout") << answer;
  EXPECT_TRUE(slow.closed());
}

TEST_F(DashboardServerTest, ConnectionsBeyondOneClientsShareAreRefused) {
  Serve();
  const size_t share = door::DoorLimits{}.connections_per_client;
  std::vector<std::unique_ptr<RawClient>> open;
  for (size_t i = 0; i < share; ++i) {
    open.push_back(std::make_unique<RawClient>(server_->port(), "", 0, "127.0.0.4"));
  }
  // Each accepted before the next: the one over the share is answered at once.
  RawClient over(server_->port(), "", 0, "127.0.0.4");
  const std::string refused = over.ReadToEnd();
  EXPECT_EQ(StatusLine(refused), "HTTP/1.1 503 Service Unavailable") << refused;
  EXPECT_NE(refused.find("32 connections from 127.0.0.4 are open"), std::string::npos) << refused;
  EXPECT_TRUE(over.closed());
  RawClient other(server_->port(), Head("GET /healthz"), 0, "127.0.0.2");
  EXPECT_EQ(StatusLine(other.ReadUntil("\r\n\r\n")), "HTTP/1.1 200 OK");
  // A place given back is taken again.
  open.pop_back();
  const auto again = testing::WaitUntil(
      [&] {
        RawClient next(server_->port(), Head("GET /healthz"), 0, "127.0.0.4");
        return StatusLine(next.ReadUntil("\r\n\r\n")) == "HTTP/1.1 200 OK";
      },
      std::chrono::seconds{10});
  EXPECT_TRUE(again) << "a closed connection's place was not given back";
}

TEST_F(DashboardServerTest, WrongTokensAreLoggedAndSlowDownTheirClientOnly) {
  Serve(kToken);
  const std::string wrong = Head("GET /api/terminals", "Authorization: Bearer not-the-token\r\n");
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < door::FailedSignIns::kFreeFailures; ++i) {
    RawClient guess(server_->port(), wrong, 0, "127.0.0.5");
    EXPECT_EQ(StatusLine(guess.ReadUntil("\r\n\r\n")), "HTTP/1.1 401 Unauthorized");
  }
  RawClient login(server_->port(),
                  Head("POST /login", "Origin: http://127.0.0.1\r\n"
                                      "Content-Type: application/x-www-form-urlencoded\r\n"
                                      "Content-Length: 11\r\n") + "token=guess",
                  0, "127.0.0.5");
  EXPECT_EQ(StatusLine(login.ReadUntil("\r\n\r\n")), "HTTP/1.1 401 Unauthorized");
  // The fifth request of that client waits; another client is served meanwhile.
  RawClient held(server_->port(), wrong, 0, "127.0.0.5");
  RawClient other(server_->port(),
                  Head("GET /api/terminals", std::string("Authorization: Bearer ") + kToken + "\r\n"),
                  0, "127.0.0.6");
  EXPECT_EQ(StatusLine(other.ReadUntil("\r\n\r\n")), "HTTP/1.1 200 OK");
  EXPECT_FALSE(held.Answered()) << "the guessing client was not slowed down";
  EXPECT_EQ(StatusLine(held.ReadUntil("\r\n\r\n")), "HTTP/1.1 401 Unauthorized");
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("warning dashboard: a wrong token (Bearer token) from 127.0.0.5, 1 in a row"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("a wrong token (sign-in) from 127.0.0.5, 4 in a row: its requests wait 1 s"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("127.0.0.6"), std::string::npos) << log;
  // A browser's cookie of a token no longer right is deleted, so that it is
  // not presented (and counted) again.
  RawClient stale(server_->port(), Head("GET /terminals", "Cookie: tallygate_token=old-token\r\n"),
                  0, "127.0.0.7");
  EXPECT_NE(stale.ReadUntil("\r\n\r\n").find("Set-Cookie: tallygate_token=; Max-Age=0;"),
            std::string::npos);
}

}  // namespace
}  // namespace tallygate::collector::web
