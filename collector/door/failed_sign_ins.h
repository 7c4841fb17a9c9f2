// Wrong tokens, by the address they came from: each is logged at warning,
// and a client that keeps presenting wrong ones is slowed down. From the
// fourth in a row on, its next requests wait at the front door, 1 s after
// the fourth, doubling with each further one up to 30 s; they hold no
// worker meanwhile, so other clients are served as before. A right token
// from the address, or a quarter of an hour without a wrong one, forgets
// them.
#ifndef TALLYGATE_COLLECTOR_DOOR_FAILED_SIGN_INS_H_
#define TALLYGATE_COLLECTOR_DOOR_FAILED_SIGN_INS_H_

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tallygate::collector::door {

class FailedSignIns {
 public:
  using Clock = std::chrono::steady_clock;

  // A wrong token from `client`, presented as `how` ("sign-in", "Bearer
  // token", "cookie"). Logs it.
  void Failed(const std::string& client, std::string_view how);
  void Succeeded(const std::string& client);

  // Until when requests from `client` wait; the past when they need not.
  Clock::time_point HoldUntil(const std::string& client) const;

  // Failures free of any wait, the longest wait, and how long a client's
  // failures are remembered.
  static constexpr int kFreeFailures = 3;
  static constexpr std::chrono::seconds kLongestHold{30};
  static constexpr std::chrono::minutes kMemory{15};

 private:
  struct Record {
    int failures = 0;
    Clock::time_point last;
  };
  static std::chrono::seconds HoldAfter(int failures);
  // Room for one more, when the table is full: the oldest goes.
  void MakeRoom(Clock::time_point now);

  mutable std::mutex mutex_;
  std::unordered_map<std::string, Record> clients_;
};

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_FAILED_SIGN_INS_H_
