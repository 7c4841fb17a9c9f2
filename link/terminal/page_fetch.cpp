#include "link/terminal/page_fetch.h"

#include <algorithm>
#include <vector>

#include "link/protocol/units.h"

namespace tallygate {
namespace {

constexpr int kPagePauseMs = 30;
constexpr int kLostPagesLimit = 3;
constexpr int kRecordAttempts = 5;
constexpr int kCardAttempts = 3;
constexpr int kMissesEndingAnAttempt = 2;

}  // namespace

// Declared extern in terminal.h, so defined with external linkage.
const int32_t kPagePositions = kUnitsPerPage;
const int32_t kMostPages = kMaxPages;

PagePlan RecordPagePlan(double unit_wait_seconds, bool certain_positions) {
  return {&command::kRecordPages, record_unit::kLength, kRecordAttempts, true, unit_wait_seconds,
          certain_positions};
}

PagePlan CardPagePlan(double unit_wait_seconds, bool certain_positions) {
  return {&command::kCardPages, card_unit::kLength, kCardAttempts, false, unit_wait_seconds,
          certain_positions};
}

Result<FetchReport> FetchPages(FrameExchange& exchange, uint8_t address, int32_t count,
                               int32_t from, const PagePlan& plan, const UnitSink& sink,
                               const Arrival& arrival, const PageHook& on_page) {
  if (from < 0 || from > count) {
    return TerminalError(ErrorCode::kInvalidArgument, address,
                         "fetch from position " + std::to_string(from) + " of " +
                             std::to_string(count));
  }
  const std::stop_token& stop = exchange.control().stop;
  auto stopped = [&] { return TerminalError(ErrorCode::kStopped, address, "fetch stopped"); };
  FetchReport report;
  report.count = count;
  report.from = from;
  const int32_t pages = from < count ? (count + kUnitsPerPage - 1) / kUnitsPerPage : 0;
  int lost_pages = 0;
  std::vector<bool> arrived(kUnitsPerPage);
  struct AttemptUnit {
    int32_t index;  // within the page
    Bytes unit;
  };
  std::vector<AttemptUnit> attempt;
  attempt.reserve(kUnitsPerPage);
  for (int32_t page = from / kUnitsPerPage + 1; page <= pages; ++page) {
    const int32_t units = page < pages ? kUnitsPerPage : count - (pages - 1) * kUnitsPerPage;
    const int32_t page_start = (page - 1) * kUnitsPerPage;
    const int32_t first_wanted = std::max(from, page_start);
    PageReport page_report;
    page_report.page = page;
    page_report.first_position = first_wanted;
    page_report.expected = page_start + units - first_wanted;
    std::fill(arrived.begin(), arrived.end(), false);

    if (!plan.pause_before_attempts && !Pause(kPagePauseMs, stop)) return stopped();
    const auto all_arrived = [&] {
      return std::all_of(arrived.begin() + (first_wanted - page_start), arrived.begin() + units,
                         [](bool a) { return a; });
    };
    int missed = 0;
    for (int budget = plan.attempts; budget > 0;) {
      if (plan.pause_before_attempts && !Pause(kPagePauseMs, stop)) return stopped();
      --budget;
      ++page_report.attempts;
      if (on_page) on_page(page_report, false);
      Bytes request = MakeFrame(plan.spec->code, {static_cast<uint8_t>(page)});
      // A request that could not be sent shows as missing units below.
      (void)exchange.SendFrame(address, request, plan.spec->frame_length);
      missed = 0;
      // Units carry no position: the i-th unit read is taken for position i
      // of the page. That holds only while no unit went missing: once a read
      // times out, a unit (or part of one) may have been skipped anywhere
      // before, and the units read after that point may each belong one
      // position further on. The attempt's units are therefore kept aside
      // and stored only when no read of the attempt timed out; a unit
      // spoiled in place (a bad check byte, another address: its bytes all
      // came) costs its own position only.
      bool bytes_missing = false;
      attempt.clear();
      for (int32_t i = 0; i < units; ++i) {
        Bytes unit;
        const Status received =
            exchange.ReceiveFrame(address, plan.unit_wait_seconds, plan.unit_length, unit);
        if (!received) {
          const ErrorCode why = received.error().code();
          if (why == ErrorCode::kStopped) return stopped();
          // A read that timed out may hide a unit skipped in the middle. A
          // spoiled unit, or a line that closed, failed or went away, leaves
          // the units read before it in their places.
          if (why == ErrorCode::kNoReply) bytes_missing = true;
          if (++missed >= kMissesEndingAnAttempt) break;
          continue;
        }
        if (arrival) arrival(page_start + i);
        if (page_start + i >= first_wanted) attempt.push_back({i, std::move(unit)});
      }
      if (!bytes_missing || !plan.certain_positions) {
        for (AttemptUnit& read : attempt) {
          const bool first = !arrived[static_cast<size_t>(read.index)];
          arrived[static_cast<size_t>(read.index)] = true;
          if (first) ++page_report.received;
          sink(page_start + read.index,
               std::span<const uint8_t>(read.unit).first(static_cast<size_t>(plan.unit_length)),
               first);
        }
      }
      if (plan.retry_missing_only ? all_arrived() : missed == 0) break;
    }
    for (int32_t position = first_wanted; position < page_start + units; ++position) {
      if (!arrived[static_cast<size_t>(position - page_start)]) page_report.missed.push_back(position);
    }
    report.delivered += page_report.received;
    if (on_page) on_page(page_report, true);
    report.pages.push_back(std::move(page_report));
    // Lost: positions still missing (or, by the collected files' rule, the
    // last attempt missed units).
    const bool lost = plan.retry_missing_only ? !page_report.missed.empty() : missed > 0;
    if (lost && ++lost_pages >= kLostPagesLimit) {
      report.stopped_early = true;
      break;
    }
  }
  return report;
}

}  // namespace tallygate
