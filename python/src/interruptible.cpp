#include "interruptible.h"

#include <exception>
#include <thread>

namespace tallygate::python {

namespace py = pybind11;

Wake WaitWithSignals(std::mutex& mutex, std::condition_variable_any& changed,
                     const std::function<bool()>& ready) {
  for (;;) {
    bool done = false;
    {
      py::gil_scoped_release release;
      std::unique_lock lock(mutex);
      done = changed.wait_for(lock, kSignalCheckInterval, ready);
    }
    if (done) return Wake::kReady;
    if (PyErr_CheckSignals() != 0) return Wake::kSignalled;
  }
}

void RunInterruptibly(const std::function<void(std::stop_token)>& work) {
  std::mutex mutex;
  std::condition_variable_any changed;
  bool done = false;
  std::exception_ptr failure;
  std::jthread worker([&](std::stop_token stop) {
    try {
      work(stop);
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(mutex);
    done = true;
    changed.notify_all();
  });
  const auto finished = [&] { return done; };
  if (WaitWithSignals(mutex, changed, finished) == Wake::kSignalled) {
    worker.request_stop();
    {
      py::gil_scoped_release release;
      worker.join();
    }
    throw py::error_already_set();
  }
  // `work` has ended; the thread only has to return.
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tallygate::python
