#include "collector/poll/terminal_poll.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "collector/poll/card_work.h"
#include "collector/base/log.h"
#include "collector/base/time_zone.h"
#include "collector/poll/memory_check.h"
#include "collector/poll/punch_values.h"

namespace tallygate::collector {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

UtcTime NowUtc() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::chrono::sys_days Today() { return std::chrono::floor<std::chrono::days>(NowUtc()); }

void Say(LogLevel level, const TerminalConfig& terminal, const std::string& text) {
  Log(level, terminal.name + ": " + text);
}

// What one fetch of records brought.
struct FetchOutcome {
  int32_t fetched = 0;
  int32_t added = 0;
  int32_t pages_lost = 0;
  bool complete = false;          // every position to the count is stored
  bool overlap_differs = false;   // the terminal was cleared and refilled
  bool overlap_confirmed = false; // the last stored record is still there
  bool suspect = false;           // position 0 is another terminal's first record
  bool stopped = false;           // a stop was asked for
  std::optional<std::string> store_error;
  std::optional<Error> line_error;
};

// Fetches positions `from` to count-1 and stores them page by page. With
// `overlap`, position `from` is the last stored one (mark.positions - 1):
// it is compared, not stored, and the mark moves on only once it matched.
// A record at position 0 that is one of `suspects` ends the fetch before
// anything is stored (`suspect`).
FetchOutcome FetchAndStore(Line& line, const TerminalRuntime& runtime, PollLedger& store,
                           const std::function<int64_t()>& collection, int32_t count,
                           int32_t from, const Mark& mark, bool overlap,
                           const std::stop_token& stop,
                           const std::vector<PunchBytes>& suspects = {}) {
  const TerminalConfig& terminal = *runtime.config;
  FetchOutcome out;
  Mark next = overlap ? mark : Mark{};
  Mark committed = mark;  // the store's mark
  bool overlap_seen = !overlap;
  bool gap = false;
  std::vector<Punch> page;
  page.reserve(256);

  // Ends the fetch at once on a stop of the service, a changed overlap or a
  // store failure.
  std::stop_source inner;
  std::stop_callback relay(stop, [&] { inner.request_stop(); });

  FetchOptions options;
  options.count = count;
  options.unit_wait = terminal.unit_wait;
  options.stop = inner.get_token();
  options.on_page = [&](const PageReport& report, bool done) {
    if (!done) {
      if (report.attempts > 1) {
        Say(LogLevel::kDebug, terminal,
            "page " + std::to_string(report.page) + " attempt " + std::to_string(report.attempts));
      }
      return;
    }
    if (!report.missed.empty()) ++out.pages_lost;
    if (out.overlap_differs || out.suspect || out.store_error) return;
    std::sort(page.begin(), page.end(),
              [](const Punch& a, const Punch& b) { return a.position < b.position; });
    for (const Punch& punch : page) {
      if (!gap && overlap_seen && punch.position == next.positions) {
        if (punch.position == 0) next.first = punch.bytes;
        ++next.positions;
        next.last = punch.bytes;
      } else if (punch.position >= next.positions) {
        gap = true;  // stored all the same; the mark waits at the gap
      }
    }
    if (!report.missed.empty() && report.missed.front() <= next.positions) gap = true;
    // A page that brings nothing (the last stored record, confirmed) has
    // nothing to commit.
    if (page.empty() && next.positions == committed.positions && next.last == committed.last) {
      return;
    }
    try {
      out.added += store.StorePage(terminal.name, collection(), page, next);
      committed = next;
      out.fetched += static_cast<int32_t>(page.size());
    } catch (const StoreError& e) {
      out.store_error = e.what();
      inner.request_stop();
    }
    page.clear();
  };

  const Result<FetchReport> report = line.FetchRecords(
      terminal.address, from,
      [&](const AttendanceRecord& record) {
        if (overlap && record.position == from) {
          overlap_seen = true;
          if (mark.last && PunchOf(record, terminal.time_zone).bytes != *mark.last) {
            out.overlap_differs = true;
            inner.request_stop();
          }
          return;
        }
        Punch punch = PunchOf(record, terminal.time_zone);
        if (record.position == 0 && std::find(suspects.begin(), suspects.end(), punch.bytes) !=
                                        suspects.end()) {
          out.suspect = true;
          inner.request_stop();
          return;
        }
        page.push_back(std::move(punch));
      },
      options);
  if (!report) {
    if (report.error().code() == ErrorCode::kStopped) {
      out.stopped = !out.overlap_differs && !out.suspect && !out.store_error;
    } else {
      out.line_error = report.error();
    }
    return out;
  }
  out.overlap_confirmed = overlap && overlap_seen && !out.overlap_differs;
  out.complete = !out.overlap_differs && overlap_seen && next.positions == count;
  return out;
}

std::chrono::seconds BackoffAfter(const TerminalConfig& terminal, int failures) {
  auto wait = terminal.poll_interval;
  for (int i = 1; i < failures && wait < kMaxBackoff; ++i) wait *= 2;
  return std::min<std::chrono::seconds>(wait, kMaxBackoff);
}

// A poll that answered, found nothing new and changed nothing.
bool Quiet(const Collection& collection) {
  return collection.outcome == Outcome::kComplete && collection.positions_fetched == 0 &&
         collection.punches_added == 0 && collection.error.empty();
}

// What the poll did, as the log says it: "complete, 310 on the terminal, 10
// fetched from position 299, 10 punches added"; "complete, 310 on the
// terminal, nothing new" when it fetched nothing.
std::string Summary(const Collection& collection) {
  std::string text = OutcomeName(collection.outcome);
  if (collection.count) text += ", " + std::to_string(*collection.count) + " on the terminal";
  if (collection.positions_fetched > 0) {
    text += ", " + std::to_string(collection.positions_fetched) + " fetched from position " +
            std::to_string(collection.from_position) + ", " +
            std::to_string(collection.punches_added) + " punches added";
  } else if (collection.outcome == Outcome::kComplete || collection.outcome == Outcome::kCleared) {
    text += ", nothing new";
  } else if (collection.count) {
    text += ", nothing fetched";
  }
  if (collection.pages_lost) text += ", " + std::to_string(collection.pages_lost) + " pages lost";
  if (!collection.error.empty()) text += ": " + collection.error;
  return text;
}

// A poll that has no collection row yet: one that stored no punch. Finish
// records it in one commit, unless the terminal stays busy (a busy terminal
// is tried every few seconds; the store hears of it when it becomes busy,
// not at every try).
constexpr int64_t kRowWhenWorthIt = -1;

// Sets the next due time from the outcome, and ends the collection row `id`
// (none when 0: the store failed to begin one). `acted`: the poll was asked
// for, read the card list, set the clock or changed cards, so it is no quiet
// poll.
void Finish(TerminalRuntime& runtime, PollLedger& store, int64_t id, Collection& collection,
            bool acted = false) {
  const TerminalConfig& terminal = *runtime.config;
  collection.ended = NowUtc();
  const auto now = std::chrono::steady_clock::now();
  // Busy neither fails the terminal nor ends its failures; a TCP terminal
  // busy for longer than its busy_limit is unreachable after all.
  const bool busy_before = runtime.reported_busy;
  if (collection.outcome != Outcome::kBusy) {
    runtime.busy_since.reset();
  } else {
    if (!runtime.busy_since) runtime.busy_since = now;
    if (!terminal.serial() && now - *runtime.busy_since >= terminal.busy_limit) {
      collection.outcome = Outcome::kUnreachable;
    }
  }
  const bool busy = collection.outcome == Outcome::kBusy;
  runtime.reported_busy = busy;
  const bool failed =
      collection.outcome == Outcome::kUnreachable || collection.outcome == Outcome::kStoreFailed;
  if (!busy) runtime.failures = failed ? runtime.failures + 1 : 0;
  std::optional<UtcTime> backoff_until;
  auto wait = busy ? kBusyRetry : terminal.poll_interval;
  if (failed) {
    wait = BackoffAfter(terminal, runtime.failures);
    backoff_until = collection.ended + wait;
  }
  runtime.next_due = now + wait;
  const bool quiet = !acted && Quiet(collection);
  LogLevel level = quiet ? LogLevel::kDebug : LogLevel::kInfo;
  if (failed || collection.outcome == Outcome::kPartial) level = LogLevel::kWarning;
  if (busy && busy_before) level = LogLevel::kDebug;  // said when it became busy
  // Said by the memory check when it began, naming both terminals.
  if (collection.outcome == Outcome::kWrongTerminal) level = LogLevel::kDebug;
  Say(level, terminal,
      busy ? "busy: " + collection.error + "; trying again every " +
                 std::to_string(kBusyRetry.count()) + " s"
           : Summary(collection) +
                 (failed ? "; next try in " + std::to_string(wait.count()) + " s" : ""));
  if (id == kRowWhenWorthIt && busy && busy_before) return;
  try {
    // A quiet poll like the last one written changes nothing in the store
    // but when the terminal last answered.
    if (id == kRowWhenWorthIt && quiet && runtime.quiet_count == collection.count) {
      if (now - runtime.answer_written < kQuietWrite) return;
      store.RecordAnswer(terminal.name, collection.ended);
    } else if (id == kRowWhenWorthIt) {
      store.RecordCollection(collection, backoff_until);
    } else {
      store.FinishCollection(id, collection, backoff_until);
    }
    runtime.answer_written = now;
    runtime.quiet_count = collection.outcome == Outcome::kComplete && collection.error.empty()
                              ? collection.count
                              : std::nullopt;
  } catch (const StoreError& e) {
    // Not known to be written: the next poll writes its row.
    runtime.quiet_count.reset();
    Say(LogLevel::kError, terminal, std::string("could not record the poll: ") + e.what());
  }
}

// Clears the terminal's records when every one is committed and a second
// count agrees. Returns true when it cleared them.
bool ClearWhenProven(Line& line, const TerminalConfig& terminal, PollLedger& store, int32_t count,
                     const std::stop_token& stop) {
  const Mark stored = store.LoadMark(terminal.name);  // StoreError: no clear
  if (stored.positions != count) return false;
  CallOptions call;
  call.stop = stop;
  const Result<int32_t> again = line.RecordCount(terminal.address, call);
  if (!again) {
    Say(LogLevel::kWarning, terminal, "not cleared: " + again.error().message());
    return false;
  }
  if (*again != count) {
    Say(LogLevel::kInfo, terminal,
        "not cleared: " + std::to_string(*again - count) + " records came meanwhile");
    return false;
  }
  const auto counted = std::chrono::steady_clock::now();
  const Status cleared = line.ClearRecords(terminal.address, call);
  const auto window = std::chrono::steady_clock::now() - counted;
  if (!cleared) {
    Say(LogLevel::kWarning, terminal, "clearing failed: " + cleared.error().message());
    return false;
  }
  Say(LogLevel::kInfo, terminal,
      "cleared " + std::to_string(count) + " records, all stored; a punch in the " +
          std::to_string(duration_cast<milliseconds>(window).count()) +
          " ms between the last count and the clear could not be protected");
  try {
    store.ResetMark(terminal.name);
  } catch (const StoreError& e) {
    // The next poll finds fewer records than the mark and starts at 0.
    Say(LogLevel::kWarning, terminal, std::string("mark not reset: ") + e.what());
  }
  return true;
}

// Whether the terminal answers with its own memory, or one the store does
// not know, so that its records may be stored from position 0. When its
// memory is another terminal's, `collection` says so and it is held; when
// the records compared did not come, the poll is partial (or busy).
// `why`, when not empty, is why the poll starts from 0 again: it rewrites
// history, so it is logged at warning. A terminal told to take the memory it
// answers with as its own (AcceptMemory) takes that memory's mark into
// `mark`.
bool HoldsOwnMemory(Line& line, TerminalRuntime& runtime, PollLedger& store, int32_t count, Mark& mark,
                    const std::string& why, const std::stop_token& stop,
                    Collection& collection) {
  const TerminalConfig& terminal = *runtime.config;
  MemoryVerdict verdict = RecogniseMemory(line, terminal, count, store, stop);
  if (verdict.unsure) {
    const ErrorCode code = verdict.unsure->code();
    collection.outcome = HeldByAnother(code) ? Outcome::kBusy : Outcome::kPartial;
    collection.error = verdict.unsure->message();
    return false;
  }
  if (verdict.other && verdict.accept) {
    store.AdoptMemory(terminal.name, verdict.other->mark);
    mark = verdict.other->mark;
    runtime.memory_of.reset();
    Say(LogLevel::kWarning, terminal,
        "takes the memory of " + verdict.other->terminal + " as its own, as accepted: " +
            std::to_string(mark.positions) + " records stay under " + verdict.other->terminal +
            ", the next ones are its own");
    return true;
  }
  if (verdict.other) {
    const std::string text = WrongTerminalText(terminal.name, verdict.other->terminal);
    if (runtime.memory_of != verdict.other->terminal) {
      Log(LogLevel::kWarning, text + "; nothing is stored, cleared or written there until " +
                                  terminal.name + "'s address answers with its own memory");
    }
    runtime.memory_of = verdict.other->terminal;
    collection.outcome = Outcome::kWrongTerminal;
    collection.error = text;
    return false;
  }
  // Nothing to take: the acceptance ends, the mark as it is.
  if (verdict.accept) store.AdoptMemory(terminal.name, mark);
  if (!why.empty()) Say(LogLevel::kWarning, terminal, why + "; collecting from position 0");
  return true;
}

void CollectCards(Line& line, TerminalRuntime& runtime, CardBook& store, const std::stop_token& stop,
                  Collection& collection) {
  const TerminalConfig& terminal = *runtime.config;
  std::vector<CardEntry> cards;
  FetchOptions options;
  options.stop = stop;
  const Result<FetchReport> report = line.FetchCards(
      terminal.address, 0, [&](const tallygate::CardEntry& entry) { cards.push_back(CardOf(entry)); },
      options);
  if (!report) {
    AppendError(collection, "card list: " + report.error().message());
    return;
  }
  if (!report->complete()) {
    // A list with holes would drop names that are still on the terminal.
    AppendError(collection, "card list incomplete, kept the previous one");
    return;
  }
  store.ReplaceCards(terminal.name, cards, NowUtc());
  runtime.cards_day = Today();
  runtime.cards_wanted = false;
  runtime.cards_list_changed = true;
  Say(LogLevel::kInfo, terminal, "card list: " + std::to_string(cards.size()) + " cards");
}

void SetClockDaily(Line& line, TerminalRuntime& runtime, const std::stop_token& stop,
                   Collection& collection) {
  const TerminalConfig& terminal = *runtime.config;
  CallOptions call;
  call.stop = stop;
  const Status set = line.SetClock(terminal.address, LocalNow(terminal.time_zone), call);
  if (!set) {
    AppendError(collection, "clock: " + set.error().message());
    return;
  }
  runtime.clock_day = Today();
  Say(LogLevel::kInfo, terminal, "clock set (" + terminal.time_zone + ")");
}

}  // namespace

void AppendError(Collection& collection, const std::string& text) {
  if (!collection.error.empty()) collection.error += "; ";
  collection.error += text;
}

bool HeldByAnother(ErrorCode code) {
  return code == ErrorCode::kDeviceBusy || code == ErrorCode::kRefused ||
         code == ErrorCode::kClosed;
}

Collection RecordLineFailure(TerminalRuntime& runtime, PollLedger& store, const Error& error) {
  Collection collection;
  collection.terminal = runtime.config->name;
  collection.started = NowUtc();
  collection.outcome = HeldByAnother(error.code()) ? Outcome::kBusy : Outcome::kUnreachable;
  collection.error = error.message();
  Finish(runtime, store, kRowWhenWorthIt, collection);
  return collection;
}

Collection PollTerminal(Line& line, TerminalRuntime& runtime, PollStores stores,
                        const std::stop_token& stop, const WantedSnapshot* wanted) {
  PollLedger& store = stores.ledger;
  const TerminalConfig& terminal = *runtime.config;
  Collection collection;
  collection.terminal = terminal.name;
  collection.started = NowUtc();
  // The collections row is made when a page is first stored, or at the end.
  int64_t id = kRowWhenWorthIt;
  bool acted = runtime.asked_for;
  runtime.upkeep_done = false;
  const auto row = [&] {
    if (id == kRowWhenWorthIt) id = store.BeginCollection(collection);
    return id;
  };
  try {
    Mark mark = store.LoadMark(terminal.name);

    CallOptions call;
    call.stop = stop;
    const Result<int32_t> count = line.RecordCount(terminal.address, call);
    if (!count) {
      const ErrorCode why = count.error().code();
      collection.outcome = why == ErrorCode::kStopped ? Outcome::kPartial
                           : HeldByAnother(why)       ? Outcome::kBusy
                                                      : Outcome::kUnreachable;
      collection.error = count.error().message();
      Finish(runtime, store, id, collection);
      return collection;
    }
    collection.count = *count;

    const auto now = std::chrono::steady_clock::now();
    // Reading the last stored record again costs a bus the page up to it
    // (up to 256 records, 2 s at 19200 bit/s): upkeep, unless asked for at
    // every poll.
    const bool every_poll = terminal.verify_interval.count() == 0;
    const bool verify_due =
        every_poll || (runtime.upkeep_allowed &&
                       (!runtime.verified || now - *runtime.verified >= terminal.verify_interval));
    int32_t from = 0;
    bool overlap = false;
    bool fetch = *count > 0;
    // Before anything is stored from position 0 on a terminal with a mark,
    // or on one with none yet, its memory must be its own.
    bool adopted = false;  // it took another's memory as its own
    const auto own_memory = [&](const std::string& why) {
      const Mark before = mark;
      const bool own = HoldsOwnMemory(line, runtime, store, *count, mark, why, stop, collection);
      adopted = mark != before;
      return own;
    };
    if (mark.positions > 0 && *count >= mark.positions) {
      from = mark.positions - 1;
      overlap = true;
      fetch = *count > mark.positions || verify_due;
      runtime.upkeep_done = !every_poll && *count == mark.positions && fetch;
    } else if (mark.positions > *count) {
      if (!own_memory(std::to_string(*count) + " records, fewer than the " +
                      std::to_string(mark.positions) + " stored: the terminal was cleared")) {
        Finish(runtime, store, id, collection);
        return collection;
      }
      if (adopted) {
        from = mark.positions - 1;
        overlap = true;
      } else if (*count == 0) {
        store.ResetMark(terminal.name);
      }
    }
    // A terminal with no mark yet: its first record, as it comes, tells
    // whether its memory may be one the store knows; only then is it
    // compared further. Told to take the memory it answers with as its own,
    // it is compared at once.
    std::vector<PunchBytes> suspects;
    if (mark.positions == 0 && *count > 0) {
      const KnownMemories known = store.Memories(terminal.name);
      if (known.accept) {
        if (!own_memory("")) {
          Finish(runtime, store, id, collection);
          return collection;
        }
        if (adopted) {
          from = mark.positions - 1;
          overlap = true;
        }
      } else {
        suspects = FirstRecordsWithin(known, *count);
      }
    }

    FetchOutcome fetched;
    if (fetch) {
      collection.from_position = from;
      fetched = FetchAndStore(line, runtime, store, row, *count, from, mark, overlap, stop,
                              suspects);
      if (fetched.suspect) {
        if (!own_memory("")) {
          collection.pages_lost = fetched.pages_lost;
          Finish(runtime, store, id, collection);
          return collection;
        }
        collection.from_position = adopted ? mark.positions - 1 : 0;
        fetched = FetchAndStore(line, runtime, store, row, *count, collection.from_position, mark,
                                adopted, stop);
      } else if (fetched.overlap_differs) {
        if (!own_memory("the record at position " + std::to_string(from) +
                        " is not the one stored (" + std::to_string(*count) +
                        " records on the terminal, " + std::to_string(mark.positions) +
                        " stored): the terminal was cleared and refilled")) {
          collection.pages_lost = fetched.pages_lost;
          Finish(runtime, store, id, collection);
          return collection;
        }
        const int32_t lost_before = fetched.pages_lost;
        collection.from_position = adopted ? mark.positions - 1 : 0;
        fetched = FetchAndStore(line, runtime, store, row, *count, collection.from_position, mark,
                                adopted, stop);
        fetched.pages_lost += lost_before;
      }
    } else {
      fetched.complete = true;
    }
    // A collection from position 0 has just read the last stored record.
    if (fetched.overlap_confirmed || (fetch && fetched.complete)) runtime.verified = now;
    if (runtime.memory_of) {
      Say(LogLevel::kInfo, terminal, "answers with its own memory again");
      runtime.memory_of.reset();
    }
    collection.positions_fetched = fetched.fetched;
    collection.punches_added = fetched.added;
    collection.pages_lost = fetched.pages_lost;
    if (fetched.store_error) {
      collection.outcome = Outcome::kStoreFailed;
      collection.error = *fetched.store_error;
    } else if (fetched.line_error) {
      // Taken over half-way: what came is stored, the rest comes next time.
      collection.outcome =
          HeldByAnother(fetched.line_error->code()) ? Outcome::kBusy : Outcome::kPartial;
      collection.error = fetched.line_error->message();
    } else if (!fetched.complete) {
      collection.outcome = Outcome::kPartial;
      collection.error = fetched.stopped ? "stopped" : "not every record came";
    } else {
      collection.outcome = Outcome::kComplete;
    }

    // Not before its last record is confirmed since the start: one cleared
    // and refilled to the same count meanwhile holds records not stored.
    if (collection.outcome == Outcome::kComplete && terminal.clear_above && runtime.verified &&
        *count > *terminal.clear_above && !stop.stop_requested()) {
      if (ClearWhenProven(line, terminal, store, *count, stop)) {
        collection.outcome = Outcome::kCleared;
        runtime.verified.reset();
      }
    }
    const bool cards_daily = terminal.card_list && runtime.cards_day != Today();
    const bool clock_daily = terminal.set_clock && runtime.clock_day != Today();
    // The card list and the clock (one short exchange) are one job.
    const bool daily_now =
        (cards_daily || clock_daily) && runtime.upkeep_allowed &&
        !(runtime.upkeep_one_job && runtime.upkeep_done);
    runtime.upkeep_done |= daily_now;
    if (!stop.stop_requested() && terminal.card_list &&
        (runtime.cards_wanted || (cards_daily && daily_now))) {
      acted = true;
      CollectCards(line, runtime, stores.cards, stop, collection);
    }
    if (!stop.stop_requested() && clock_daily && daily_now) {
      acted = true;
      SetClockDaily(line, runtime, stop, collection);
    }
    if (wanted != nullptr && !stop.stop_requested() &&
        (collection.outcome == Outcome::kComplete || collection.outcome == Outcome::kCleared)) {
      acted |= !runtime.cards_pending.empty();
      CarryOutCards(line, runtime, stores.cards, *wanted, stop, collection);
      acted |= !runtime.cards_pending.empty();
    }
  } catch (const StoreError& e) {
    collection.outcome = Outcome::kStoreFailed;
    AppendError(collection, e.what());
  }
  Finish(runtime, store, id, collection, acted);
  return collection;
}

}  // namespace tallygate::collector
