// Work on a thread of its own whose end the service's main thread can look
// for between signals, so that SIGTERM and SIGHUP are answered while a call
// to the store does not return.
#ifndef TALLYGATE_COLLECTOR_APP_TASK_H_
#define TALLYGATE_COLLECTOR_APP_TASK_H_

#include <atomic>
#include <functional>
#include <thread>

namespace tallygate::collector {

class Task {
 public:
  explicit Task(const std::function<void()>& work);
  ~Task() { Join(); }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  // True once `work` has returned; what it wrote is visible then.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Waits for `work` to return (at once when it has).
  void Join();

 private:
  std::atomic<bool> finished_ = false;
  std::thread thread_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_TASK_H_
