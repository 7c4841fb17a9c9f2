// Waiting for a terminal without holding up Python: the GIL is released while
// a call waits, and Python's signal handlers run every 20 ms, so Ctrl-C
// (KeyboardInterrupt) ends a wait within about 70 ms: the wake-up, then the
// terminal API's stop (its waits look at the stop every 50 ms).
#ifndef TALLYGATE_PYTHON_INTERRUPTIBLE_H_
#define TALLYGATE_PYTHON_INTERRUPTIBLE_H_

#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>

namespace tallygate::python {

inline constexpr std::chrono::milliseconds kSignalCheckInterval{20};

enum class Wake { kReady, kSignalled };

// Waits, without the GIL, until `ready()` (called with `mutex` held) is
// true. Called with the GIL held. Every kSignalCheckInterval it runs
// Python's pending signal handlers; when one raises, it returns kSignalled
// with that exception set, for the caller to clean up and then throw
// pybind11::error_already_set.
Wake WaitWithSignals(std::mutex& mutex, std::condition_variable_any& changed,
                     const std::function<bool()>& ready);

// Runs `work` on a thread of its own and waits for it with WaitWithSignals.
// When a signal handler raises, `work`'s stop token is requested, `work` is
// awaited to its end, and the handler's exception is thrown. An exception
// `work` throws is thrown here. `work` must not touch Python objects
// without taking the GIL.
void RunInterruptibly(const std::function<void(std::stop_token)>& work);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_INTERRUPTIBLE_H_
