#include "collector/poll/memory_check.h"

#include <map>
#include <set>
#include <vector>

#include "collector/poll/punch_values.h"

namespace tallygate::collector {
namespace {

// The terminal's records at `positions`, a page read for each position not
// met on a page read before (a page holds its positions from the one asked
// for to its end). A position whose page did not come whole is left out; a
// line that fails is the error.
Result<std::map<int32_t, PunchBytes>> ReadAt(Line& line, const TerminalConfig& terminal,
                                             int32_t count, const std::set<int32_t>& positions,
                                             const std::stop_token& stop) {
  std::map<int32_t, PunchBytes> found;
  std::set<int32_t> passed;  // on a page already read
  for (const int32_t wanted : positions) {
    if (passed.contains(wanted)) continue;
    // One page only: the fetch is stopped once that page is done, between
    // two page requests, so nothing is left streaming on the line.
    std::stop_source page_done;
    std::stop_callback relay(stop, [&] { page_done.request_stop(); });
    FetchOptions options;
    options.count = count;
    options.unit_wait = terminal.unit_wait;
    options.stop = page_done.get_token();
    options.on_page = [&](const PageReport& page, bool done) {
      if (!done) return;
      for (int32_t p = page.first_position; p < page.first_position + page.expected; ++p) {
        passed.insert(p);
      }
      page_done.request_stop();
    };
    const Result<FetchReport> report = line.FetchRecords(
        terminal.address, wanted,
        [&](const AttendanceRecord& record) {
          if (positions.contains(record.position)) {
            found[record.position] = PunchOf(record, terminal.time_zone).bytes;
          }
        },
        options);
    if (stop.stop_requested()) return Error(ErrorCode::kStopped, "stopped");
    if (!report && report.error().code() != ErrorCode::kStopped) return report.error();
    passed.insert(wanted);
  }
  return found;
}

Error Missing(int32_t position) {
  return Error(ErrorCode::kNoReply, "the record at position " + std::to_string(position) +
                                        " did not come: whose memory the terminal holds is not"
                                        " known");
}

}  // namespace

namespace {

bool Fits(const Mark& mark, int32_t count) {
  return mark.first && mark.last && mark.positions <= count;
}

}  // namespace

std::vector<PunchBytes> FirstRecordsWithin(const KnownMemories& known, int32_t count) {
  std::vector<PunchBytes> firsts;
  for (const StoredMemory& memory : known.others) {
    if (Fits(memory.mark, count)) firsts.push_back(*memory.mark.first);
  }
  return firsts;
}

MemoryVerdict RecogniseMemory(Line& line, const TerminalConfig& terminal, int32_t count,
                              PollLedger& store, const std::stop_token& stop) {
  KnownMemories known = store.Memories(terminal.name);
  MemoryVerdict verdict;
  verdict.accept = known.accept;
  // Only a memory with at most `count` records can be this one.
  std::vector<StoredMemory> candidates;
  for (StoredMemory& memory : known.others) {
    if (Fits(memory.mark, count)) candidates.push_back(std::move(memory));
  }
  if (candidates.empty()) return verdict;

  Result<std::map<int32_t, PunchBytes>> first = ReadAt(line, terminal, count, {0}, stop);
  if (!first) {
    verdict.unsure = first.error();
    return verdict;
  }
  if (!first->contains(0)) {
    verdict.unsure = Missing(0);
    return verdict;
  }
  std::erase_if(candidates,
                [&](const StoredMemory& memory) { return *memory.mark.first != first->at(0); });
  if (candidates.empty()) return verdict;

  std::set<int32_t> lasts;
  for (const StoredMemory& memory : candidates) lasts.insert(memory.mark.positions - 1);
  Result<std::map<int32_t, PunchBytes>> read = ReadAt(line, terminal, count, lasts, stop);
  if (!read) {
    verdict.unsure = read.error();
    return verdict;
  }
  for (StoredMemory& memory : candidates) {
    const int32_t last = memory.mark.positions - 1;
    const auto held = read->find(last);
    if (held == read->end()) {
      verdict.unsure = Missing(last);
      continue;
    }
    if (held->second == *memory.mark.last) {
      verdict.other = std::move(memory);
      verdict.unsure.reset();
      return verdict;
    }
  }
  return verdict;
}

}  // namespace tallygate::collector
