#include "collector/app/task.h"

namespace tallygate::collector {

Task::Task(const std::function<void()>& work)
    : thread_([this, work] {
        work();
        finished_.store(true, std::memory_order_release);
      }) {}

void Task::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tallygate::collector
