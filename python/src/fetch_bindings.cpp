#include "fetch_bindings.h"

#include <pybind11/stl.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "errors.h"
#include "interruptible.h"

namespace tallygate::python {
namespace {

template <typename Item>
using FetchMember = Result<FetchReport> (Line::*)(uint8_t, int32_t,
                                                  const std::function<void(const Item&)>&,
                                                  const FetchOptions&);

template <typename Item>
class FetchStream {
 public:
  FetchStream(std::shared_ptr<LineHandle> handle, FetchRequest request, FetchMember<Item> fetch,
              const char* what)
      : handle_(std::move(handle)), request_(std::move(request)), fetch_(fetch), what_(what) {}
  ~FetchStream() { Stop(); }
  FetchStream(const FetchStream&) = delete;
  FetchStream& operator=(const FetchStream&) = delete;

  // The next item, or StopIteration, or the fetch's failure. GIL held.
  py::object Next() {
    for (;;) {
      if (next_ < current_.items.size()) return py::cast(std::move(current_.items[next_++]));
      if (current_.page) {
        const auto [page, done] = *std::exchange(current_.page, std::nullopt);
        request_.on_page(page, done);
        continue;
      }
      if (state_ == State::kEnded) throw py::stop_iteration();
      if (state_ == State::kNew) Start();
      if (WaitWithSignals(mutex_, changed_, [&] { return !queue_.empty() || worker_done_; }) ==
          Wake::kSignalled) {
        Stop();
        throw py::error_already_set();
      }
      std::unique_lock lock(mutex_);
      if (queue_.empty()) {
        lock.unlock();
        Finish();
        continue;
      }
      current_ = std::move(queue_.front());
      queue_.pop_front();
      next_ = 0;
      changed_.notify_all();
    }
  }

  // Stops the fetch and waits for its thread; the items not yet yielded are
  // dropped. GIL held.
  void Stop() {
    state_ = State::kEnded;
    if (!worker_.joinable()) return;
    stop_.request_stop();
    py::gil_scoped_release release;
    worker_.join();
  }

  py::object Report() const { return report_ ? py::cast(*report_) : py::none(); }

 private:
  // What one attempt at a page delivered, and the page event after it.
  struct Chunk {
    std::vector<Item> items;
    std::optional<std::pair<PageReport, bool>> page;
  };
  enum class State { kNew, kRunning, kEnded };

  void Start() {
    handle_->CheckFree();
    state_ = State::kRunning;
    worker_ = std::thread([this] { Work(stop_.get_token()); });
  }

  // On the fetch's thread.
  void Work(const std::stop_token& stop) {
    std::optional<Result<FetchReport>> outcome;
    {
      LineHandle::Use use(*handle_, stop, stop_);
      if (use.line() == nullptr) {
        outcome.emplace(use.why());
      } else {
        const bool pages_wanted = !request_.on_page.is_none();
        Chunk chunk;
        FetchOptions options;
        options.count = request_.count;
        options.unit_wait = std::chrono::duration<double>(request_.unit_wait);
        options.stop = stop;
        options.on_page = [&](const PageReport& page, bool done) {
          if (pages_wanted) chunk.page.emplace(page, done);
          if (!chunk.items.empty() || chunk.page) Push(std::exchange(chunk, {}), stop);
        };
        outcome.emplace((use.line()->*fetch_)(
            request_.address, request_.from, [&](const Item& item) { chunk.items.push_back(item); },
            options));
        if (!chunk.items.empty()) Push(std::move(chunk), stop);
      }
    }
    std::lock_guard lock(mutex_);
    outcome_ = std::move(outcome);
    worker_done_ = true;
    changed_.notify_all();
  }

  // On the fetch's thread: waits for room in the queue, or for a stop.
  void Push(Chunk chunk, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [&] { return queue_.size() < kQueueChunks; })) return;
    queue_.push_back(std::move(chunk));
    changed_.notify_all();
  }

  // The fetch has ended and every item was yielded: its report, or its
  // failure. GIL held.
  void Finish() {
    Stop();
    Result<FetchReport>& outcome = *outcome_;
    if (!outcome) Raise(outcome.error());
    report_ = *outcome;
    if (request_.strict && !report_->complete()) {
      const py::object report = Report();
      const py::list missed = report.attr("missed");
      RaiseIncomplete(std::string(what_) + " of terminal " + std::to_string(request_.address) +
                          ": " + std::to_string(missed.size()) + " of " +
                          std::to_string(report_->count - report_->from) +
                          " positions not delivered, the first " + std::string(py::str(missed[0])) +
                          " (see .report.missed)",
                      report);
    }
  }

  const std::shared_ptr<LineHandle> handle_;
  FetchRequest request_;
  const FetchMember<Item> fetch_;
  const char* const what_;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<Chunk> queue_;
  bool worker_done_ = false;
  std::optional<Result<FetchReport>> outcome_;
  std::stop_source stop_;
  std::thread worker_;

  // The iterator's side.
  State state_ = State::kNew;
  Chunk current_;
  size_t next_ = 0;
  std::optional<FetchReport> report_;
};

template <typename Item>
void BindStream(py::module_& module, const char* name, const char* doc) {
  using Stream = FetchStream<Item>;
  py::class_<Stream>(module, name, doc)
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Stream::Next)
      .def("close", &Stream::Stop,
           "Stops the fetch and frees the line; the items not yet yielded are dropped.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Stream& stream, py::args) { stream.Stop(); })
      .def_property_readonly("report", &Stream::Report,
                             "The FetchReport once the fetch has ended by itself; None before, "
                             "and after a failure, Ctrl-C or close().");
}

}  // namespace

void BindFetch(py::module_& module) {
  BindStream<AttendanceRecord>(module, "RecordIterator",
                               "Yields a terminal's records (Record) as their pages arrive.");
  BindStream<CardEntry>(module, "CardIterator",
                        "Yields a terminal's card-list entries (CardEntry) as their pages arrive.");
}

py::object RecordIterator(std::shared_ptr<LineHandle> handle, FetchRequest request) {
  return py::cast(std::make_unique<FetchStream<AttendanceRecord>>(
      std::move(handle), std::move(request), &Line::FetchRecords, "records"));
}

py::object CardIterator(std::shared_ptr<LineHandle> handle, FetchRequest request) {
  return py::cast(std::make_unique<FetchStream<CardEntry>>(std::move(handle), std::move(request),
                                                           &Line::FetchCards, "card list"));
}

}  // namespace tallygate::python
