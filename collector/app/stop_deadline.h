// After a stop request the service has kStopGrace to end. What has not
// returned by then (a call to a store that does not answer) is not waited
// for: the process logs what it was waiting for and exits at once, with the
// stop's exit status. Nothing is left half-written: each store call is one
// transaction, and one in flight is rolled back when the process's
// connection closes (SQLite's at the next open); the page it carried is
// fetched again at the next poll, since the mark moves only with a commit.
#ifndef TALLYGATE_COLLECTOR_APP_STOP_DEADLINE_H_
#define TALLYGATE_COLLECTOR_APP_STOP_DEADLINE_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tallygate::collector {

inline constexpr std::chrono::seconds kStopGrace{3};

class StopDeadline {
 public:
  StopDeadline() = default;
  // The service ended in time: the deadline is called off.
  ~StopDeadline();
  StopDeadline(const StopDeadline&) = delete;
  StopDeadline& operator=(const StopDeadline&) = delete;

  // Starts the count (the first call only). `waiting_for` names what the
  // log line will say is still awaited ("a call to the store ...").
  void Start(int status, const std::string& waiting_for);
  // What is awaited from now on, once the earlier wait has ended ("the
  // store ... to open").
  void NowWaitingFor(const std::string& waiting_for);

 private:
  std::mutex mutex_;
  std::string waiting_for_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_STOP_DEADLINE_H_
