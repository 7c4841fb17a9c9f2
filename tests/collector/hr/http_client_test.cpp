// A POST to a receiver on this machine that misbehaves: its answer's body
// is kept only in part however large, a slow answer ends at the timeout,
// and Retry-After is read in both its forms.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <thread>

#include "collector/hr/http_client.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;

TEST(HttpClientTest, AHugeOrSlowAnswerIsBoundedAndRetryAfterRead) {
  httplib::Server server;
  server.Post("/huge", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(20 << 20, 'x'), "text/plain");
  });
  server.Post("/slow", [](const httplib::Request&, httplib::Response& response) {
    std::this_thread::sleep_for(6s);
    response.status = 200;
  });
  server.Post("/later", [](const httplib::Request& request, httplib::Response& response) {
    response.status = 429;
    response.set_header("Retry-After", request.body == "date" ? "Wed, 21 Oct 2015 07:28:00 GMT"
                                                             : "120");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  const auto post = [&](const std::string& path, const std::string& body = "{}",
                        std::chrono::seconds timeout = 1s) {
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(port) + path;
    request.body = body;
    request.timeout = timeout;
    return Post(request);
  };

  const HttpAnswer huge = post("/huge", "{}", 60s);  // 20 MB take a while under sanitizers
  EXPECT_EQ(huge.status, 200);
  EXPECT_EQ(huge.body.size(), kAnswerKept);

  const auto start = std::chrono::steady_clock::now();
  const HttpAnswer slow = post("/slow");
  EXPECT_EQ(slow.status, 0);
  EXPECT_NE(slow.error.find("imed out"), std::string::npos) << slow.error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "waited for the answer";

  EXPECT_EQ(post("/later").retry_after, 120s);
  EXPECT_EQ(post("/later", "date").retry_after, 0s);  // a date in the past

  HttpRequest refused;
  refused.url = "http://127.0.0.1:1/nothing";
  EXPECT_EQ(Post(refused).status, 0);
  server.stop();
  serving.join();
}

}  // namespace
}  // namespace tallygate::collector
