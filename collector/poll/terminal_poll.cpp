#include "collector/poll/terminal_poll.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "collector/poll/card_work.h"
#include "collector/base/log.h"
#include "collector/base/time_zone.h"
#include "collector/poll/memory_check.h"
#include "collector/poll/punch_values.h"
#include "collector/poll/record_fetch.h"

namespace tallygate::collector {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

std::chrono::sys_days Today() { return std::chrono::floor<std::chrono::days>(UtcNow()); }

void Say(LogLevel level, const TerminalConfig& terminal, const std::string& text) {
  Log(level, terminal.name + ": " + text);
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
  collection.ended = UtcNow();
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
      store.RecordAnswer(terminal.name, collection.started, collection.ended);
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
  store.ReplaceCards(terminal.name, cards, UtcNow());
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

// One poll of a terminal, step by step: its count, where to fetch from (and
// whether its memory is its own), the fetch, what it came to, then the
// upkeep. A step that ends the poll early says so by returning false.
class TerminalPoll {
 public:
  TerminalPoll(Line& line, TerminalRuntime& runtime, PollStores stores,
               const std::stop_token& stop, const WantedSnapshot* wanted)
      : line_(line),
        runtime_(runtime),
        stores_(stores),
        store_(stores.ledger),
        terminal_(*runtime.config),
        stop_(stop),
        wanted_(wanted),
        acted_(runtime.asked_for) {
    collection_.terminal = terminal_.name;
    collection_.started = UtcNow();
    runtime_.upkeep_done = false;
  }

  // Run once, on a temporary: the collection is handed out, not copied.
  Collection Run() && {
    try {
      if (!Collect()) {
        Finish(runtime_, store_, id_, collection_);
        return std::move(collection_);
      }
      Upkeep();
    } catch (const StoreError& e) {
      collection_.outcome = Outcome::kStoreFailed;
      AppendError(collection_, e.what());
    }
    Finish(runtime_, store_, id_, collection_, acted_);
    return std::move(collection_);
  }

 private:
  // The records: false when the poll ended before they were judged.
  bool Collect() {
    mark_ = store_.LoadMark(terminal_.name);
    if (!Count()) return false;
    now_ = std::chrono::steady_clock::now();
    FetchPlan plan;
    bool fetch = false;
    if (!Plan(plan, fetch)) return false;
    FetchOutcome fetched;
    if (fetch) {
      if (!Fetch(plan, fetched)) return false;
    } else {
      fetched.complete = true;
    }
    Judge(fetched, fetch);
    return true;
  }

  bool Count() {
    CallOptions call;
    call.stop = stop_;
    const Result<int32_t> count = line_.RecordCount(terminal_.address, call);
    if (!count) {
      const ErrorCode why = count.error().code();
      collection_.outcome = why == ErrorCode::kStopped ? Outcome::kPartial
                            : HeldByAnother(why)       ? Outcome::kBusy
                                                       : Outcome::kUnreachable;
      collection_.error = count.error().message();
      return false;
    }
    collection_.count = count_ = *count;
    return true;
  }

  // Where the fetch starts, and whether there is one.
  bool Plan(FetchPlan& plan, bool& fetch) {
    // Reading the last stored record again costs a bus the page up to it
    // (up to 256 records, 2 s at 19200 bit/s): upkeep, unless asked for at
    // every poll.
    const bool every_poll = terminal_.verify_interval.count() == 0;
    const bool verify_due =
        every_poll || (runtime_.upkeep_allowed && (!runtime_.verified ||
                                                   now_ - *runtime_.verified >=
                                                       terminal_.verify_interval));
    plan.count = count_;
    fetch = count_ > 0;
    if (mark_.positions > 0 && count_ >= mark_.positions) {
      plan.from = mark_.positions - 1;
      plan.overlap = true;
      fetch = count_ > mark_.positions || verify_due;
      runtime_.upkeep_done = !every_poll && count_ == mark_.positions && fetch;
    } else if (mark_.positions > count_) {
      // Before anything is stored from position 0 on a terminal with a
      // mark, its memory must be its own.
      if (!OwnMemory(std::to_string(count_) + " records, fewer than the " +
                     std::to_string(mark_.positions) + " stored: the terminal was cleared")) {
        return false;
      }
      if (adopted_) {
        plan.from = mark_.positions - 1;
        plan.overlap = true;
      } else if (count_ == 0) {
        store_.ResetMark(terminal_.name);
      }
    }
    // A terminal with no mark yet: its first record, as it comes, tells
    // whether its memory may be one the store knows; only then is it
    // compared further. Told to take the memory it answers with as its own,
    // it is compared at once.
    if (mark_.positions == 0 && count_ > 0) {
      const KnownMemories known = store_.Memories(terminal_.name);
      if (known.accept) {
        if (!OwnMemory("")) return false;
        if (adopted_) {
          plan.from = mark_.positions - 1;
          plan.overlap = true;
        }
      } else {
        plan.suspects = FirstRecordsWithin(known, count_);
      }
    }
    plan.mark = mark_;
    return true;
  }

  // The fetch, and once more from position 0 (or from the memory it took as
  // its own) when the terminal turned out cleared or a suspect proved its own.
  bool Fetch(const FetchPlan& plan, FetchOutcome& fetched) {
    collection_.from_position = plan.from;
    fetched = FetchAndStore(line_, terminal_, store_, row_, plan, stop_);
    std::string why;  // a suspect that proves its own starts from 0 without one
    if (!fetched.suspect) {
      if (!fetched.overlap_differs) return true;
      why = "the record at position " + std::to_string(plan.from) + " is not the one stored (" +
            std::to_string(count_) + " records on the terminal, " +
            std::to_string(mark_.positions) + " stored): the terminal was cleared and refilled";
    }
    if (!OwnMemory(why)) {
      collection_.pages_lost = fetched.pages_lost;
      return false;
    }
    const int32_t lost_before = fetched.suspect ? 0 : fetched.pages_lost;
    FetchPlan again;
    again.count = count_;
    again.from = adopted_ ? mark_.positions - 1 : 0;
    again.mark = mark_;
    again.overlap = adopted_;
    collection_.from_position = again.from;
    fetched = FetchAndStore(line_, terminal_, store_, row_, again, stop_);
    fetched.pages_lost += lost_before;
    return true;
  }

  // What the fetch came to.
  void Judge(const FetchOutcome& fetched, bool fetch) {
    // A collection from position 0 has just read the last stored record.
    if (fetched.overlap_confirmed || (fetch && fetched.complete)) runtime_.verified = now_;
    if (runtime_.memory_of) {
      Say(LogLevel::kInfo, terminal_, "answers with its own memory again");
      runtime_.memory_of.reset();
    }
    collection_.positions_fetched = fetched.fetched;
    collection_.punches_added = fetched.added;
    collection_.pages_lost = fetched.pages_lost;
    if (fetched.store_error) {
      collection_.outcome = Outcome::kStoreFailed;
      collection_.error = *fetched.store_error;
    } else if (fetched.line_error) {
      // Taken over half-way: what came is stored, the rest comes next time.
      collection_.outcome =
          HeldByAnother(fetched.line_error->code()) ? Outcome::kBusy : Outcome::kPartial;
      collection_.error = fetched.line_error->message();
    } else if (!fetched.complete) {
      collection_.outcome = Outcome::kPartial;
      collection_.error = fetched.stopped ? "stopped" : "not every record came";
    } else {
      collection_.outcome = Outcome::kComplete;
    }
  }

  // After the records: a clear, the day's card list and clock, the wanted
  // card lists.
  void Upkeep() {
    // Not before its last record is confirmed since the start: one cleared
    // and refilled to the same count meanwhile holds records not stored.
    if (collection_.outcome == Outcome::kComplete && terminal_.clear_above &&
        runtime_.verified && count_ > *terminal_.clear_above && !stop_.stop_requested()) {
      if (ClearWhenProven(line_, terminal_, store_, count_, stop_)) {
        collection_.outcome = Outcome::kCleared;
        runtime_.verified.reset();
      }
    }
    const bool cards_daily = terminal_.card_list && runtime_.cards_day != Today();
    const bool clock_daily = terminal_.set_clock && runtime_.clock_day != Today();
    // The card list and the clock (one short exchange) are one job.
    const bool daily_now = (cards_daily || clock_daily) && runtime_.upkeep_allowed &&
                           !(runtime_.upkeep_one_job && runtime_.upkeep_done);
    runtime_.upkeep_done |= daily_now;
    if (!stop_.stop_requested() && terminal_.card_list &&
        (runtime_.cards_wanted || (cards_daily && daily_now))) {
      acted_ = true;
      CollectCards(line_, runtime_, stores_.cards, stop_, collection_);
    }
    if (!stop_.stop_requested() && clock_daily && daily_now) {
      acted_ = true;
      SetClockDaily(line_, runtime_, stop_, collection_);
    }
    if (wanted_ != nullptr && !stop_.stop_requested() &&
        (collection_.outcome == Outcome::kComplete || collection_.outcome == Outcome::kCleared)) {
      acted_ |= !runtime_.cards_pending.empty();
      CarryOutCards(line_, runtime_, stores_.cards, *wanted_, stop_, collection_);
      acted_ |= !runtime_.cards_pending.empty();
    }
  }

  // Whether the terminal answers with its own memory (`why`: why the poll
  // would start from 0 again); a memory it takes as its own sets adopted_.
  bool OwnMemory(const std::string& why) {
    const Mark before = mark_;
    const bool own =
        HoldsOwnMemory(line_, runtime_, store_, count_, mark_, why, stop_, collection_);
    adopted_ = mark_ != before;
    return own;
  }

  Line& line_;
  TerminalRuntime& runtime_;
  PollStores stores_;
  PollLedger& store_;
  const TerminalConfig& terminal_;
  const std::stop_token& stop_;
  const WantedSnapshot* wanted_;
  Collection collection_;
  // The collections row, made when a page is first stored, or at the end.
  int64_t id_ = kRowWhenWorthIt;
  const std::function<int64_t()> row_ = [this] {
    if (id_ == kRowWhenWorthIt) id_ = store_.BeginCollection(collection_);
    return id_;
  };
  bool acted_;
  Mark mark_;
  int32_t count_ = 0;
  bool adopted_ = false;  // it took another's memory as its own
  std::chrono::steady_clock::time_point now_;
};

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
  collection.started = UtcNow();
  collection.outcome = HeldByAnother(error.code()) ? Outcome::kBusy : Outcome::kUnreachable;
  collection.error = error.message();
  Finish(runtime, store, kRowWhenWorthIt, collection);
  return collection;
}

Collection PollTerminal(Line& line, TerminalRuntime& runtime, PollStores stores,
                        const std::stop_token& stop, const WantedSnapshot* wanted) {
  return TerminalPoll(line, runtime, stores, stop, wanted).Run();
}

}  // namespace tallygate::collector
