#include "line_handle.h"

#include <stdexcept>
#include <utility>

namespace tallygate::python {
namespace {

Error ClosedLine(const std::string& name) {
  return Error(ErrorCode::kClosed, "line " + name + " is closed");
}

}  // namespace

LineHandle::LineHandle(std::unique_ptr<Line> line)
    : name_(line->Name()), serial_(line->serial()), line_(std::move(line)) {}

bool LineHandle::closed() const {
  std::lock_guard lock(state_);
  return line_ == nullptr;
}

void LineHandle::CheckFree() const {
  bool closed = false;
  bool fetching = false;
  {
    std::lock_guard lock(state_);
    closed = line_ == nullptr;
    fetching = fetch_.has_value();
  }
  if (closed) Raise(ClosedLine(name_));
  if (fetching) {
    throw std::runtime_error(
        "line " + name_ + " is held by an unfinished fetch: finish or close() its iterator first");
  }
}

LineHandle::Use::Use(LineHandle& handle, const std::stop_token& stop,
                     std::optional<std::stop_source> fetch)
    : handle_(handle), lock_(handle.in_use_, std::defer_lock) {
  while (!lock_.try_lock_for(kSignalCheckInterval)) {
    if (stop.stop_requested()) return;
  }
  std::lock_guard state(handle.state_);
  if (handle.line_ == nullptr) return;
  line_ = handle.line_.get();
  if (fetch) {
    handle.fetch_ = std::move(fetch);
    fetch_ = true;
  }
}

LineHandle::Use::~Use() {
  if (!fetch_) return;
  std::lock_guard state(handle_.state_);
  handle_.fetch_.reset();
}

Error LineHandle::Use::why() const {
  if (!lock_.owns_lock())
    return Error(ErrorCode::kStopped, "stopped before line " + handle_.name_ + " was free");
  return ClosedLine(handle_.name_);
}

void LineHandle::Run(const std::function<void(Line&, const CallOptions&)>& call,
                     const std::function<void(const Error&)>& failed, CallOptions options) {
  CheckFree();
  RunInterruptibly([&](std::stop_token stop) {
    options.stop = stop;
    Use use(*this, stop);
    if (use.line() == nullptr) {
      failed(use.why());
      return;
    }
    call(*use.line(), options);
  });
}

void LineHandle::Close() {
  {
    std::lock_guard lock(state_);
    if (line_ == nullptr) return;
    if (fetch_) fetch_->request_stop();
  }
  RunInterruptibly([&](std::stop_token stop) {
    Use use(*this, stop);
    if (use.line() == nullptr) return;
    std::unique_ptr<Line> closing;
    {
      std::lock_guard lock(state_);
      closing = std::move(line_);
    }
    // The connection or port closes here, off the Python thread.
  });
}

}  // namespace tallygate::python
