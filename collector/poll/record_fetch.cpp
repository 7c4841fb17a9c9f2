#include "collector/poll/record_fetch.h"

#include <algorithm>

#include "collector/base/log.h"
#include "collector/poll/punch_values.h"

namespace tallygate::collector {
namespace {

// The records of one fetch on their way into the store.
class PageWriter {
 public:
  PageWriter(const TerminalConfig& terminal, PollLedger& store,
             const std::function<int64_t()>& collection, const FetchPlan& plan,
             std::stop_source& inner)
      : terminal_(terminal),
        store_(store),
        collection_(collection),
        plan_(plan),
        inner_(inner),
        next_(plan.overlap ? plan.mark : Mark{}),
        committed_(plan.mark),
        overlap_seen_(!plan.overlap) {
    page_.reserve(256);
  }

  // A record as it came.
  void Record(const AttendanceRecord& record) {
    if (plan_.overlap && record.position == plan_.from) {
      overlap_seen_ = true;
      if (plan_.mark.last && PunchOf(record, terminal_.time_zone).bytes != *plan_.mark.last) {
        out_.overlap_differs = true;
        inner_.request_stop();
      }
      return;
    }
    Punch punch = PunchOf(record, terminal_.time_zone);
    if (record.position == 0 &&
        std::find(plan_.suspects.begin(), plan_.suspects.end(), punch.bytes) !=
            plan_.suspects.end()) {
      out_.suspect = true;
      inner_.request_stop();
      return;
    }
    page_.push_back(std::move(punch));
  }

  // A page tried (`done`: for the last time): its records are stored.
  void Page(const PageReport& report, bool done) {
    if (!done) {
      if (report.attempts > 1) {
        Log(LogLevel::kDebug, terminal_.name + ": page " + std::to_string(report.page) +
                                  " attempt " + std::to_string(report.attempts));
      }
      return;
    }
    if (!report.missed.empty()) ++out_.pages_lost;
    if (out_.overlap_differs || out_.suspect || out_.store_error) return;
    MoveMark(report);
    // A page that brings nothing (the last stored record, confirmed) has
    // nothing to commit.
    if (page_.empty() && next_.positions == committed_.positions &&
        next_.last == committed_.last) {
      return;
    }
    try {
      out_.added += store_.StorePage(terminal_.name, collection_(), page_, next_);
      committed_ = next_;
      out_.fetched += static_cast<int32_t>(page_.size());
    } catch (const StoreError& e) {
      out_.store_error = e.what();
      inner_.request_stop();
    }
    page_.clear();
  }

  // How the fetch ended, after `report`.
  FetchOutcome Finish(const Result<FetchReport>& report) {
    if (!report) {
      if (report.error().code() == ErrorCode::kStopped) {
        out_.stopped = !out_.overlap_differs && !out_.suspect && !out_.store_error;
      } else {
        out_.line_error = report.error();
      }
      return out_;
    }
    out_.overlap_confirmed = plan_.overlap && overlap_seen_ && !out_.overlap_differs;
    out_.complete = !out_.overlap_differs && overlap_seen_ && next_.positions == plan_.count;
    return out_;
  }

 private:
  // The mark moves over the page's records as far as they run on from it
  // without a gap; what lies past a gap is stored all the same, and the
  // mark waits at the gap.
  void MoveMark(const PageReport& report) {
    std::sort(page_.begin(), page_.end(),
              [](const Punch& a, const Punch& b) { return a.position < b.position; });
    for (const Punch& punch : page_) {
      if (!gap_ && overlap_seen_ && punch.position == next_.positions) {
        if (punch.position == 0) next_.first = punch.bytes;
        ++next_.positions;
        next_.last = punch.bytes;
      } else if (punch.position >= next_.positions) {
        gap_ = true;
      }
    }
    if (!report.missed.empty() && report.missed.front() <= next_.positions) gap_ = true;
  }

  const TerminalConfig& terminal_;
  PollLedger& store_;
  const std::function<int64_t()>& collection_;
  const FetchPlan& plan_;
  std::stop_source& inner_;
  FetchOutcome out_;
  Mark next_;
  Mark committed_;  // the store's mark
  bool overlap_seen_;
  bool gap_ = false;
  std::vector<Punch> page_;
};

}  // namespace

FetchOutcome FetchAndStore(Line& line, const TerminalConfig& terminal, PollLedger& store,
                           const std::function<int64_t()>& collection, const FetchPlan& plan,
                           const std::stop_token& stop) {
  // Ends the fetch at once on a stop of the service, a changed overlap, a
  // suspect or a store failure.
  std::stop_source inner;
  std::stop_callback relay(stop, [&] { inner.request_stop(); });
  PageWriter writer(terminal, store, collection, plan, inner);
  FetchOptions options;
  options.count = plan.count;
  options.unit_wait = terminal.unit_wait;
  options.stop = inner.get_token();
  options.on_page = [&](const PageReport& report, bool done) { writer.Page(report, done); };
  return writer.Finish(line.FetchRecords(
      terminal.address, plan.from,
      [&](const AttendanceRecord& record) { writer.Record(record); }, options));
}

}  // namespace tallygate::collector
