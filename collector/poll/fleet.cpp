#include "collector/poll/fleet.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>

#include "collector/poll/log.h"
#include "collector/poll/terminal_poll.h"

namespace tallygate::collector {

// Terminals served by the same workers: one serial bus (one worker, one
// line), or every TCP terminal (a pool, a line each).
struct Fleet::Group {
  bool bus = false;
  std::string device;                 // the bus's
  int workers = 1;
  std::unique_ptr<Line> bus_line;     // opened when first needed
  std::vector<std::unique_ptr<TerminalRuntime>> terminals;

  std::mutex mutex;
  std::condition_variable_any wake;
  std::vector<bool> busy;             // by terminal
  // "Poll now" asked for it; taken by the next poll that starts. Only this
  // and `busy` are shared with PollNow: the runtime's fields belong to the
  // worker polling it.
  std::vector<bool> poll_now;
  std::vector<bool> done;             // polled, in a once run
  std::vector<Collection> results;    // of a once run
  uint64_t generation = 0;            // counts the changes workers wait for
  void Changed() {
    ++generation;
    wake.notify_all();
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
// another collector meanwhile). Returns the collection to report instead of
// polling, when the terminal is not to be polled now.
std::optional<Collection> Claim(TerminalRuntime& runtime, Store& store) {
  const TerminalConfig& terminal = *runtime.config;
  const bool was_claimed = runtime.claimed;
  try {
    if (!runtime.registered) {
      store.SaveTerminal(InfoOf(terminal));
      runtime.registered = true;
    }
    runtime.claimed = store.ClaimTerminal(terminal.name);
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
    const std::string why = "polled by another collector sharing the database; not polled here";
    if (was_claimed || runtime.failures == 0) Log(LogLevel::kWarning, terminal.name + ": " + why);
    ++runtime.failures;
    return NotPolled(terminal, Outcome::kPartial, why);
  }
  return std::nullopt;
}

// Opens the line a poll of `runtime` needs (the bus's, or the terminal's
// own); nullptr after recording the failure.
Line* LineFor(std::unique_ptr<Line>& slot, const Endpoint& endpoint, std::string& why) {
  if (slot) return slot.get();
  LineOptions options;
  Result<std::unique_ptr<Line>> opened = Line::Open(endpoint, options);
  if (!opened) {
    why = opened.error().message();
    return nullptr;
  }
  slot = std::move(*opened);
  return slot.get();
}

}  // namespace

Fleet::Fleet(const CollectorConfig& config, Store& store, PollMetrics* metrics)
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
    group->busy.assign(group->terminals.size(), false);
    group->poll_now.assign(group->terminals.size(), false);
  }
}

Fleet::~Fleet() = default;

void Fleet::Work(Group& group, bool once, const std::stop_token& stop) {
  std::unique_lock lock(group.mutex);
  // A terminal asked for by "poll now" is due at once.
  const auto due = [&group](size_t i) {
    return group.poll_now[i] ? SteadyTime::min() : group.terminals[i]->next_due;
  };
  while (!stop.stop_requested()) {
    // The terminal due first that no other worker is polling.
    int next = -1;
    for (size_t i = 0; i < group.terminals.size(); ++i) {
      if (group.busy[i] || (once && group.done[i])) continue;
      if (next < 0 || due(i) < due(static_cast<size_t>(next))) next = static_cast<int>(i);
    }
    if (next < 0) {
      if (once) return;
      const uint64_t seen = group.generation;
      group.wake.wait(lock, stop, [&] { return group.generation != seen; });
      continue;
    }
    const size_t index = static_cast<size_t>(next);
    TerminalRuntime& runtime = *group.terminals[index];
    if (!once && Clock::now() < due(index)) {
      // Woken early by PollNow or a worker finishing; look again then.
      const uint64_t seen = group.generation;
      group.wake.wait_until(lock, stop, due(index), [&] { return group.generation != seen; });
      continue;
    }
    group.busy[index] = true;
    const bool asked_for = group.poll_now[index];
    group.poll_now[index] = false;
    lock.unlock();
    if (asked_for) runtime.cards_wanted = true;

    const TerminalConfig& terminal = *runtime.config;
    const Clock::time_point started = Clock::now();
    Collection collection;
    if (std::optional<Collection> skipped = Claim(runtime, store_)) {
      collection = std::move(*skipped);
    } else {
      std::string why;
      std::unique_ptr<Line>& slot = group.bus ? group.bus_line : runtime.line;
      if (Line* line = LineFor(slot, terminal.endpoint, why)) {
        collection = PollTerminal(*line, runtime, store_, stop);
        // A line that failed is opened afresh for the next poll.
        if (collection.outcome == Outcome::kUnreachable ||
            (collection.outcome == Outcome::kPartial && !group.bus)) {
          slot.reset();
        }
      } else {
        collection = RecordUnreachable(runtime, store_, why);
      }
    }
    if (metrics_ != nullptr) metrics_->Record(collection, Clock::now() - started);

    lock.lock();
    group.busy[index] = false;
    if (once) {
      group.done[index] = true;
      group.results[index] = std::move(collection);
    }
    group.Changed();
  }
}

std::vector<std::thread> Fleet::StartWorkers(bool once, const std::stop_token& stop) {
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
  std::vector<std::thread> threads = StartWorkers(false, stop);
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
  for (const Collection& collection : collections) {
    if (collection.outcome == Outcome::kStoreFailed) return 1;
    incomplete |= collection.outcome == Outcome::kPartial ||
                  collection.outcome == Outcome::kUnreachable;
  }
  return incomplete ? 3 : 0;
}

}  // namespace tallygate::collector
