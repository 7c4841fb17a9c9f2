// One open Line as the Python objects share it: the Line object, its
// Terminal objects and its fetch iterators each hold the handle, and the
// connection or port closes when Line.close() is called or the last of them
// goes.
//
// A Line is one wire: its uses are serialised here. A call takes the line
// for its exchange; a fetch takes it for the whole fetch, on the fetch's own
// thread. While a fetch iterator holds the line, other calls on it raise
// RuntimeError instead of waiting: a loop over records() that called another
// command of the same line would otherwise wait for itself.
#ifndef TALLYGATE_PYTHON_LINE_HANDLE_H_
#define TALLYGATE_PYTHON_LINE_HANDLE_H_

#include <pybind11/pybind11.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <type_traits>

#include "errors.h"
#include "interruptible.h"
#include "tallygate/terminal.h"

namespace tallygate::python {

class LineHandle {
 public:
  explicit LineHandle(std::unique_ptr<Line> line);

  const std::string& name() const { return name_; }
  bool serial() const { return serial_; }
  bool closed() const;

  // Runs `call` (Line&, const CallOptions&) -> Result<T> or Status on the
  // line, on a thread of its own (RunInterruptibly), with `options` (its
  // wait, and a stop token that Ctrl-C requests); returns the value or
  // raises the error. With the GIL held.
  template <typename F>
  auto Call(F&& call, CallOptions options) {
    using R = std::invoke_result_t<F&, Line&, const CallOptions&>;
    std::optional<R> result;
    Run([&](Line& line, const CallOptions& with) { result.emplace(call(line, with)); },
        [&](const Error& error) { result.emplace(error); }, std::move(options));
    if constexpr (std::is_same_v<R, Status>) {
      Check(*result);
    } else {
      return ValueOf(std::move(*result));
    }
  }

  // The line for one call or one fetch: waits for the line until `stop` is
  // requested. `fetch`, when given, is the fetch's stop source: other calls
  // raise RuntimeError while it holds the line, and Close() requests it.
  class Use {
   public:
    Use(LineHandle& handle, const std::stop_token& stop,
        std::optional<std::stop_source> fetch = std::nullopt);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    // Null when the line is closed or the stop came first; why() says which.
    Line* line() const { return line_; }
    Error why() const;

   private:
    LineHandle& handle_;
    std::unique_lock<std::timed_mutex> lock_;
    Line* line_ = nullptr;
    bool fetch_ = false;
  };

  // Raises ClosedError when the line is closed and RuntimeError while a
  // fetch holds it.
  void CheckFree() const;

  // Stops a fetch that holds the line, waits for the line (interruptibly),
  // then closes it. Closing twice does nothing.
  void Close();

 private:
  // Call's work: `call` once the line is free, or `failed` with why not.
  void Run(const std::function<void(Line&, const CallOptions&)>& call,
           const std::function<void(const Error&)>& failed, CallOptions options);

  const std::string name_;
  const bool serial_;
  std::timed_mutex in_use_;
  mutable std::mutex state_;  // guards line_ and fetch_
  std::unique_ptr<Line> line_;
  std::optional<std::stop_source> fetch_;
};

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_LINE_HANDLE_H_
