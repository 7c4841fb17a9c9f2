#include "fakes/hr/fake_site.h"

#include <chrono>

namespace tallygate::fakes {

FakeSite::FakeSite() {
  // An answer's header and body go out at once, not 40 ms apart (Nagle and
  // the client's delayed ACK), as a real site's server sends them.
  server_.set_tcp_nodelay(true);
  server_.set_pre_routing_handler([this](const httplib::Request&, httplib::Response& response) {
    ++requests_;
    if (const int status = answer_all_; status != 0) {
      response.status = status;
      response.set_content("{\"message\": \"answered " + std::to_string(status) + " by the test\"}",
                           "application/json");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
}

FakeSite::~FakeSite() { Stop(); }

void FakeSite::Stop() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

void FakeSite::Start() {
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // Until it runs, stop() would not stop it.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FakeSite::FailAtRandom(double share, uint32_t seed) {
  const std::lock_guard lock(mutex_);
  fail_share_ = share;
  random_.seed(seed);
}

int FakeSite::DrawFault() {
  if (fail_share_ <= 0) return 0;
  std::uniform_real_distribution<double> draw(0, 1);
  const double value = draw(random_);
  if (value >= fail_share_) return 0;
  return value < fail_share_ / 2 ? 503 : 502;
}

}  // namespace tallygate::fakes
