#include "collector/poll/fleet.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "collector/poll/card_work.h"
#include "collector/base/log.h"
#include "collector/base/sleep.h"
#include "collector/base/time_zone.h"
#include "collector/poll/terminal_poll.h"

namespace tallygate::collector {

// Terminals served by the same workers: one serial bus (one worker, one
// line), or every TCP terminal (a pool, a line each).
struct Fleet::Group {
  bool bus = false;
  std::string device;                 // the bus's
  int workers = 1;
  std::unique_ptr<Line> bus_line;     // opened for polls; see `hold`
  // The bus's line stays open between polls (a terminal on it is polled
  // more often than hold_line_below); otherwise it is released whenever
  // nothing on the bus is due.
  bool hold = false;
  std::vector<std::unique_ptr<TerminalRuntime>> terminals;

  std::mutex mutex;
  // Workers wait without waking each other for every poll: one waits for
  // the terminal due next (on `due_wake`), the others until a change
  // needs one of them (on `wake`), so an idle pool polled every second
  // does not switch between its threads for nothing.
  std::condition_variable_any wake;
  std::condition_variable_any due_wake;
  bool due_waiting = false;           // a worker waits on due_wake
  SteadyTime due_until{};             // until when it waits
  std::vector<bool> busy;             // by terminal
  // "Poll now" asked for it; taken by the next poll that starts. Only this
  // and `busy` are shared with PollNow: the runtime's fields belong to the
  // worker polling it.
  std::vector<bool> poll_now;
  // A change of the wanted card lists concerns it: due at once, without
  // collecting its card list.
  std::vector<bool> cards_now;
  // The terminal's own day when the wanted lists were last looked at: a
  // card that starts or ends at its midnight wakes it then, as a change
  // would, rather than waiting for its next poll.
  std::vector<std::optional<LocalDay>> cards_day;
  // Shared with the fleet's share rounds (Fleet::Share), by terminal:
  // claimed by this collector, to be polled at once since it was just
  // claimed, to be given up between polls.
  std::vector<bool> held;
  std::vector<bool> claimed_now;
  std::vector<bool> release;
  std::vector<bool> done;             // polled, in a once run
  std::vector<Collection> results;    // of a once run
  // When terminal `i` is due: at once when asked for by "poll now", a change
  // of its cards or a claim of the share.
  SteadyTime Due(size_t i) const {
    return poll_now[i] || cards_now[i] || claimed_now[i] ? SteadyTime::min()
                                                         : terminals[i]->next_due;
  }
  // A once run: every terminal was polled.
  bool AllDone() const { return std::all_of(done.begin(), done.end(), [](bool d) { return d; }); }
  // Whether a terminal other than `index` waits for its poll.
  bool OthersDue(size_t index) const {
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < terminals.size(); ++i) {
      if (i == index || busy[i]) continue;
      if (poll_now[i] || cards_now[i] || terminals[i]->next_due <= now) return true;
    }
    return false;
  }
  // A bus's upkeep (terminal_poll.h) takes turns with its record polls: a
  // job while no other terminal is due, else only once every other one has
  // been polled since the last job. A swipe thus waits behind one job at
  // most, never behind every terminal's in a row (the confirmations after
  // a start, the day's card lists), and on a bus that is never idle the
  // upkeep still goes on, a job a round.
  size_t polls_since_upkeep = 0;
  bool UpkeepAllowed(size_t index) const {
    return polls_since_upkeep + 1 >= terminals.size() || !OthersDue(index);
  }
  uint64_t generation = 0;            // counts the changes workers wait for
  // Tells the worker waiting for the next terminal due, or, none waiting,
  // one other worker, which then waits for it.
  void Changed() {
    ++generation;
    if (due_waiting) {
      due_wake.notify_one();
    } else {
      wake.notify_one();
    }
  }
};

namespace {

using Clock = std::chrono::steady_clock;

TerminalInfo InfoOf(const TerminalConfig& terminal) {
  return {terminal.name, terminal.EndpointText(), terminal.address, terminal.time_zone};
}

Collection NotPolled(const TerminalConfig& terminal, Outcome outcome, const std::string& why) {
  Collection collection;
  collection.terminal = terminal.name;
  collection.started = collection.ended =
      std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  collection.outcome = outcome;
  collection.error = why;
  return collection;
}

// Registers the terminal in the store (once) and claims it (before every
// poll: a claim lost with a connection to the database may have gone to
// another collector meanwhile). `held`, when the fleet is shared, says
// whether its share is this collector's; without it the claim is tried
// every poll interval, so that a collector that dies has its terminals
// taken over. Returns the collection to report instead of polling, when the
// terminal is not to be polled now: the store failed, or another collector
// sharing the database polls it (which is no failure; it is said when it
// changes).
std::optional<Collection> Claim(TerminalRuntime& runtime, PollLedger& store,
                                std::optional<bool> held) {
  const TerminalConfig& terminal = *runtime.config;
  const bool was_claimed = runtime.claimed;
  const bool first = !runtime.registered;
  try {
    if (!runtime.registered) {
      store.SaveTerminal(InfoOf(terminal));
      runtime.registered = true;
    }
    runtime.claimed = held.value_or(true) && store.ClaimTerminal(terminal.name);
  } catch (const StoreError& e) {
    ++runtime.failures;
    const auto wait = std::min<std::chrono::seconds>(
        terminal.poll_interval * (1 << std::min(runtime.failures - 1, 8)), kMaxBackoff);
    runtime.next_due = Clock::now() + wait;
    Log(LogLevel::kError, terminal.name + ": store unusable: " + e.what());
    return NotPolled(terminal, Outcome::kStoreFailed, e.what());
  }
  if (!runtime.claimed) {
    runtime.next_due = Clock::now() + terminal.poll_interval;
    const std::string why = "polled by another collector sharing the database";
    if (was_claimed || first) Log(LogLevel::kInfo, terminal.name + ": " + why);
    return NotPolled(terminal, Outcome::kClaimedElsewhere, why);
  }
  if (!was_claimed && !first) Log(LogLevel::kInfo, terminal.name + ": polled here from now on");
  return std::nullopt;
}

// Opens the line a poll needs (the bus's, or the terminal's own) into
// `slot`, unless it is open; the error when it cannot be opened.
std::optional<Error> OpenLine(std::unique_ptr<Line>& slot, const Endpoint& endpoint) {
  if (slot) return std::nullopt;
  Result<std::unique_ptr<Line>> opened = Line::Open(endpoint, LineOptions{});
  if (!opened) return opened.error();
  slot = std::move(*opened);
  return std::nullopt;
}

// How soon a terminal with a removal still pending, or changes left after
// a poll it answered, is tried again.
constexpr std::chrono::seconds kCardsRetry{10};

// How long a `once` run keeps trying a terminal whose line is busy.
constexpr std::chrono::seconds kOnceBusyWait{30};

}  // namespace

Fleet::Fleet(const CollectorConfig& config, PollStores store, PollMetrics* metrics)
    : config_(config), store_(store), metrics_(metrics) {
  std::map<std::string, Group*> buses;
  Group* pool = nullptr;
  for (const TerminalConfig& terminal : config.terminals) {
    Group* group = nullptr;
    if (terminal.serial()) {
      const std::string& device = std::get<SerialEndpoint>(terminal.endpoint).device;
      Group*& bus = buses[device];
      if (bus == nullptr) {
        groups_.push_back(std::make_unique<Group>());
        bus = groups_.back().get();
        bus->bus = true;
        bus->device = device;
      }
      group = bus;
    } else {
      if (pool == nullptr) {
        groups_.push_back(std::make_unique<Group>());
        pool = groups_.back().get();
      }
      group = pool;
    }
    auto runtime = std::make_unique<TerminalRuntime>();
    runtime->config = &terminal;
    group->terminals.push_back(std::move(runtime));
  }
  for (auto& group : groups_) {
    const int terminals = static_cast<int>(group->terminals.size());
    group->workers = group->bus ? 1 : std::min(config.tcp_parallel, terminals);
    for (const auto& runtime : group->terminals) {
      group->hold |= group->bus && HoldsLine(*runtime->config);
    }
    group->busy.assign(group->terminals.size(), false);
    group->poll_now.assign(group->terminals.size(), false);
    group->cards_now.assign(group->terminals.size(), false);
    group->cards_day.assign(group->terminals.size(), std::nullopt);
    group->held.assign(group->terminals.size(), false);
    group->claimed_now.assign(group->terminals.size(), false);
    group->release.assign(group->terminals.size(), false);
  }
  // A bus is shared whole, a TCP terminal alone.
  std::vector<std::vector<std::string>> unit_names;
  auto poll_interval = std::chrono::seconds::max();
  for (auto& group : groups_) {
    for (size_t i = 0; i < group->terminals.size(); ++i) {
      if (!group->bus || i == 0) {
        units_.push_back({group.get(), {}});
        unit_names.emplace_back();
      }
      units_.back().terminals.push_back(i);
      unit_names.back().push_back(group->terminals[i]->config->name);
      poll_interval = std::min(poll_interval, group->terminals[i]->config->poll_interval);
    }
  }
  share_ = std::make_unique<FleetShare>(std::move(unit_names));
  share_period_ = FleetShare::Period(poll_interval);
}

Fleet::~Fleet() = default;

bool Fleet::HoldsLine(const TerminalConfig& terminal) const {
  return terminal.poll_interval < config_.hold_line_below;
}

void Fleet::Work(Group& group, bool once, const std::stop_token& stop) {
  std::unique_lock lock(group.mutex);
  while (!stop.stop_requested()) {
    if (GiveUp(group, lock)) continue;
    const size_t index = NextDue(group, once, lock, stop);
    if (index == kNoneLeft) return;
    if (index == kLookAgain) continue;
    TerminalRuntime& runtime = *group.terminals[index];
    group.busy[index] = true;
    // A once run does all the upkeep.
    runtime.upkeep_allowed = !group.bus || once || group.UpkeepAllowed(index);
    runtime.upkeep_one_job = group.bus && !once;
    runtime.upkeep_done = false;
    // Another worker waits for the terminal due after this one.
    if (!group.due_waiting) group.Changed();
    const bool asked_for = group.poll_now[index];
    group.poll_now[index] = false;
    group.cards_now[index] = false;
    group.claimed_now[index] = false;
    const std::optional<bool> held =
        shared_ ? std::optional<bool>(group.held[index]) : std::nullopt;
    lock.unlock();
    if (asked_for) runtime.cards_wanted = true;
    runtime.asked_for = asked_for;
    Collection collection = PollOne(group, runtime, held, stop);
    const bool retry_busy = once && collection.outcome == Outcome::kBusy &&
                            Clock::now() - once_started_ < kOnceBusyWait;
    lock.lock();
    Polled(group, index, std::move(collection), held, once && !retry_busy);
  }
}

size_t Fleet::NextDue(Group& group, bool once, std::unique_lock<std::mutex>& lock,
                      const std::stop_token& stop) {
  // The terminal due first that no other worker is polling.
  int next = -1;
  for (size_t i = 0; i < group.terminals.size(); ++i) {
    if (group.busy[i] || (once && group.done[i])) continue;
    if (next < 0 || group.Due(i) < group.Due(static_cast<size_t>(next))) {
      next = static_cast<int>(i);
    }
  }
  const uint64_t seen = group.generation;
  const auto changed = [&] { return group.generation != seen; };
  if (next < 0) {
    if (once) return kNoneLeft;
    ReleaseIdleBus(group, lock);
    group.wake.wait(lock, stop, changed);
    return kLookAgain;
  }
  const size_t index = static_cast<size_t>(next);
  // A once run polls every terminal at once, but waits out a busy line.
  if ((!once || group.terminals[index]->reported_busy) && Clock::now() < group.Due(index)) {
    if (ReleaseIdleBus(group, lock)) return kLookAgain;
    if (group.due_waiting) {
      group.wake.wait(lock, stop, changed);
      return kLookAgain;
    }
    // Woken early by PollNow or a worker finishing; look again then.
    group.due_waiting = true;
    group.due_until = group.Due(index);
    group.due_wake.wait_until(lock, stop, group.due_until, changed);
    group.due_waiting = false;
    return kLookAgain;
  }
  return index;
}

Collection Fleet::PollOne(Group& group, TerminalRuntime& runtime, std::optional<bool> held,
                          const std::stop_token& stop) {
  const TerminalConfig& terminal = *runtime.config;
  const Clock::time_point started = Clock::now();
  Collection collection;
  if (std::optional<Collection> skipped = Claim(runtime, store_.ledger, held)) {
    collection = std::move(*skipped);
  } else {
    const std::shared_ptr<const WantedSnapshot> wanted = wanted_.Now();
    try {
      // Kept pending before the line is tried: a terminal that cannot be
      // reached shows what it still lacks.
      PlanCards(runtime, store_.cards, *wanted);
    } catch (const StoreError& e) {
      Log(LogLevel::kError, terminal.name + ": card lists: " + e.what());
    }
    std::unique_ptr<Line>& slot = group.bus ? group.bus_line : runtime.line;
    const bool connecting = !group.bus && !slot;
    if (std::optional<Error> failed = OpenLine(slot, terminal.endpoint)) {
      collection = RecordLineFailure(runtime, store_.ledger, *failed);
    } else {
      // A TCP terminal serves one client at a time: while our connection
      // lasted nobody else could clear and refill it, but between two
      // connections anyone could. Its last record is confirmed again.
      if (connecting) runtime.verified.reset();
      collection = PollTerminal(*slot, runtime, store_, stop, wanted.get());
      // A line that failed, or was taken over, is opened afresh for the
      // next poll; a terminal's own connection is released after its poll
      // unless it is polled often (a bus is released once idle).
      const Outcome outcome = collection.outcome;
      if (outcome == Outcome::kUnreachable || outcome == Outcome::kBusy ||
          (!group.bus && (outcome == Outcome::kPartial || !HoldsLine(terminal)))) {
        slot.reset();
      }
    }
  }
  if (metrics_ != nullptr) metrics_->Record(collection, Clock::now() - started);
  // A terminal that may still let a revoked card in is tried again soon,
  // whatever its backoff; so is one that answered but still lacks changes
  // (one failed on the way), rather than at its next poll an hour on.
  const bool removal_pending =
      std::any_of(runtime.cards_pending.begin(), runtime.cards_pending.end(),
                  [](const PendingCard& change) { return change.change == CardChange::kRemove; });
  const bool answered_short =
      collection.outcome == Outcome::kComplete && !runtime.cards_pending.empty();
  if (removal_pending || answered_short) {
    runtime.next_due = std::min(runtime.next_due, Clock::now() + kCardsRetry);
  }
  // A swipe made during a bus's upkeep job is counted right after it (one
  // short exchange), not a round later behind the next job.
  if (group.bus && runtime.upkeep_done && collection.outcome == Outcome::kComplete) {
    runtime.next_due = SteadyTime{};
  }
  return collection;
}

void Fleet::Polled(Group& group, size_t index, Collection collection, std::optional<bool> held,
                   bool once_done) {
  const TerminalRuntime& runtime = *group.terminals[index];
  group.busy[index] = false;
  group.polls_since_upkeep = runtime.upkeep_done ? 0 : group.polls_since_upkeep + 1;
  // Its share's claim was lost with a connection to the database.
  if (held.value_or(false) && collection.outcome == Outcome::kClaimedElsewhere) {
    group.held[index] = false;
  }
  if (once_done) {
    group.done[index] = true;
    group.results[index] = std::move(collection);
    // The last terminal done: the workers parked for a change must see
    // that nothing is left, or the run never ends.
    if (group.AllDone()) {
      ++group.generation;
      group.wake.notify_all();
      group.due_wake.notify_all();
    }
  }
  // This worker looks for the next terminal itself; the one waiting for
  // the next due is told only of a terminal due before that.
  if (group.due_waiting && group.Due(index) < group.due_until) group.Changed();
}

bool Fleet::GiveUp(Group& group, std::unique_lock<std::mutex>& lock) {
  std::vector<size_t> leaving;
  for (size_t i = 0; i < group.terminals.size(); ++i) {
    if (group.release[i] && !group.busy[i]) leaving.push_back(i);
  }
  if (leaving.empty()) return false;
  // A bus's first terminal by name last: whoever claims it finds the rest
  // free (FleetShare::Take).
  std::sort(leaving.begin(), leaving.end(), [&group](size_t a, size_t b) {
    return group.terminals[a]->config->name > group.terminals[b]->config->name;
  });
  for (size_t i : leaving) {
    group.busy[i] = true;
    group.release[i] = false;
  }
  lock.unlock();
  // Lines first, so that the collector taking over finds them free. A bus
  // is given up whole, and only its one worker uses its line.
  if (group.bus) group.bus_line.reset();
  std::vector<bool> given(leaving.size(), false);
  for (size_t k = 0; k < leaving.size(); ++k) {
    TerminalRuntime& runtime = *group.terminals[leaving[k]];
    runtime.line.reset();
    try {
      store_.ledger.ReleaseTerminal(runtime.config->name);
      given[k] = true;
    } catch (const StoreError& e) {
      // Still its own: the next round asks again if it must go.
      Log(LogLevel::kError, runtime.config->name + ": not given up: " + e.what());
    }
  }
  lock.lock();
  for (size_t k = 0; k < leaving.size(); ++k) {
    group.busy[leaving[k]] = false;
    if (given[k]) group.held[leaving[k]] = false;
  }
  return true;
}

void Fleet::Share() {
  const auto now = Clock::now();
  if (!share_ || now < next_share_) return;
  next_share_ = now + share_period_;
  std::optional<FleetShare::Moves> moves = share_->Round(store_.ledger);
  if (!moves) return;
  if (moves->alone) {
    share_.reset();
    return;
  }
  shared_ = true;
  const std::set<size_t> mine(moves->mine.begin(), moves->mine.end());
  const std::set<size_t> release(moves->release.begin(), moves->release.end());
  const std::set<size_t> taken(moves->taken.begin(), moves->taken.end());
  for (size_t unit = 0; unit < units_.size(); ++unit) {
    Group& group = *units_[unit].group;
    const std::vector<size_t>& terminals = units_[unit].terminals;
    const std::lock_guard lock(group.mutex);
    const bool held = group.held[terminals.front()];
    bool changed = false;
    const auto set = [&](std::vector<bool>& flags, bool value) {
      for (size_t i : terminals) {
        changed |= flags[i] != value;
        flags[i] = value;
      }
    };
    if (taken.contains(unit) || (moves->first && mine.contains(unit))) {
      // Its own now, or already when the fleet started (the configuration
      // read again): polled at once.
      set(group.release, false);
      set(group.held, true);
      set(group.claimed_now, true);
    } else if (held) {
      set(group.release, release.contains(unit));
    } else if (mine.contains(unit)) {
      // Claimed, and polled by no worker: claimed at a poll just before the
      // fleet was shared, or half taken when the store failed.
      set(group.release, true);
    }
    if (changed) group.Changed();
  }
}

bool Fleet::ReleaseIdleBus(Group& group, std::unique_lock<std::mutex>& lock) {
  if (!group.bus || group.hold || !group.bus_line) return false;
  // Only this group's one worker uses the bus's line.
  lock.unlock();
  group.bus_line.reset();
  lock.lock();
  return true;
}

void Fleet::WatchCards() {
  const std::shared_ptr<const WantedSnapshot> before = wanted_.Now();
  std::set<uint32_t> changed;
  try {
    changed = wanted_.Refresh(store_.cards);
  } catch (const StoreError& e) {
    // Said once, not every second while the store is down.
    if (!cards_unread_) Log(LogLevel::kError, std::string("card lists not read: ") + e.what());
    cards_unread_ = true;
    return;
  }
  if (cards_unread_) Log(LogLevel::kInfo, "card lists read again");
  cards_unread_ = false;
  const std::shared_ptr<const WantedSnapshot> after = wanted_.Now();
  if (after->version == 0) return;
  std::map<std::string, LocalDay> today_in;  // by time zone
  for (auto& group : groups_) {
    const std::lock_guard lock(group->mutex);
    bool woken = false;
    for (size_t i = 0; i < group->terminals.size(); ++i) {
      const TerminalConfig& terminal = *group->terminals[i]->config;
      if (!terminal.card_list) continue;
      auto zone = today_in.find(terminal.time_zone);
      if (zone == today_in.end()) {
        const LocalDay today = std::chrono::floor<std::chrono::days>(LocalNow(terminal.time_zone));
        zone = today_in.emplace(terminal.time_zone, today).first;
      }
      std::optional<LocalDay>& seen = group->cards_day[i];
      const bool day_turned = seen && *seen != zone->second;
      seen = zone->second;
      if (!day_turned && changed.empty()) continue;
      const CardTerminal card_terminal = CardTerminalOf(terminal);
      if ((day_turned && WantedCards::DayTurns(*after, card_terminal, zone->second)) ||
          WantedCards::Concerns(*before, *after, changed, card_terminal)) {
        group->cards_now[i] = true;
        woken = true;
      }
    }
    if (woken) group->Changed();
  }
}

std::vector<std::thread> Fleet::StartWorkers(bool once, const std::stop_token& stop) {
  once_started_ = Clock::now();
  WatchCards();
  std::vector<std::thread> threads;
  for (auto& group : groups_) {
    {
      const std::lock_guard lock(group->mutex);
      group->done.assign(group->terminals.size(), false);
      group->results.assign(group->terminals.size(), Collection{});
    }
    for (int i = 0; i < group->workers; ++i) {
      threads.emplace_back([this, g = group.get(), once, stop] { Work(*g, once, stop); });
    }
  }
  return threads;
}

void Fleet::Run(std::stop_token stop) {
  Share();  // the workers start with the share's terminals claimed
  std::vector<std::thread> threads = StartWorkers(false, stop);
  while (!SleepUntil(std::chrono::steady_clock::now() + kCardsWatch, stop)) {
    WatchCards();
    Share();
  }
  for (std::thread& thread : threads) thread.join();
}

std::vector<Collection> Fleet::PollOnce(std::stop_token stop) {
  std::vector<std::thread> threads = StartWorkers(true, stop);
  for (std::thread& thread : threads) thread.join();
  std::map<std::string, Collection> by_name;
  for (auto& group : groups_) {
    for (size_t i = 0; i < group->terminals.size(); ++i) {
      Collection& result = group->results[i];
      if (!group->done[i]) {
        result = NotPolled(*group->terminals[i]->config, Outcome::kPartial, "stopped");
      }
      by_name[group->terminals[i]->config->name] = std::move(result);
    }
  }
  std::vector<Collection> ordered;
  for (const TerminalConfig& terminal : config_.terminals) {
    ordered.push_back(std::move(by_name[terminal.name]));
  }
  return ordered;
}

bool Fleet::PollNow(const std::string& name) {
  for (auto& group : groups_) {
    const std::lock_guard lock(group->mutex);
    for (size_t i = 0; i < group->terminals.size(); ++i) {
      if (group->terminals[i]->config->name != name) continue;
      // Kept until a poll that starts after this one has taken it: a poll
      // running now does not count.
      group->poll_now[i] = true;
      group->Changed();
      return true;
    }
  }
  return false;
}

int OnceStatus(const std::vector<Collection>& collections) {
  bool incomplete = false;
  bool wrong = false;
  for (const Collection& collection : collections) {
    if (collection.outcome == Outcome::kStoreFailed) return 1;
    wrong |= collection.outcome == Outcome::kWrongTerminal;
    // Claimed elsewhere: the other collector collects it.
    incomplete |= collection.outcome == Outcome::kPartial ||
                  collection.outcome == Outcome::kUnreachable ||
                  collection.outcome == Outcome::kBusy;
  }
  return wrong ? 4 : incomplete ? 3 : 0;
}

}  // namespace tallygate::collector
