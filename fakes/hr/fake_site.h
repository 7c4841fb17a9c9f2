// What the fake HR systems share: an HTTP server on 127.0.0.1 in a thread
// of its own, and faults on demand, so that a sink's tests can fail its
// requests as a real site and a real network do.
#ifndef TALLYGATE_FAKES_HR_FAKE_SITE_H_
#define TALLYGATE_FAKES_HR_FAKE_SITE_H_

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace tallygate::fakes {

class FakeSite {
 public:
  FakeSite();
  virtual ~FakeSite();
  FakeSite(const FakeSite&) = delete;
  FakeSite& operator=(const FakeSite&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }

  // Of the requests from now on, `share` fail: half of them before their
  // work (503), half after it, the work kept and the answer lost (502), as
  // when a proxy times out on a slow site.
  void FailAtRandom(double share, uint32_t seed);
  // Every request answered with this status (401, 500 ...; 0: none).
  void AnswerAll(int status) { answer_all_ = status; }
  int64_t requests() const { return requests_; }

 protected:
  // Stops serving and waits for the handlers in flight. A fake's destructor
  // calls it first: its handlers use its members, which go before the
  // base's destructor would stop them.
  void Stop();
  // Starts serving; called by the fake's constructor once its routes are set.
  void Start();
  httplib::Server& server() { return server_; }

  // The fault for this request: 0 none, 503 before its work, 502 after it.
  int DrawFault();
  // The state's lock, held by every handler.
  std::mutex& mutex() const { return mutex_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::mt19937 random_{1};
  double fail_share_ = 0;
  std::atomic<int> answer_all_{0};
  std::atomic<int64_t> requests_{0};
};

}  // namespace tallygate::fakes

#endif  // TALLYGATE_FAKES_HR_FAKE_SITE_H_
