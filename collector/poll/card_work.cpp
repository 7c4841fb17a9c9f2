#include "collector/poll/card_work.h"

#include <algorithm>
#include <map>

#include "collector/cards/card_plan.h"
#include "collector/cards/held_name.h"
#include "collector/base/log.h"
#include "collector/base/time_zone.h"

namespace tallygate::collector {
namespace {

// Removals first: a card that must no longer open is the urgent change.
int Urgency(CardChange change) { return change == CardChange::kRemove ? 0 : 1; }

// The entry `change` leaves on the list, as the store keeps it: as reading
// the list would give it.
CardEntry EntryOf(const PendingCard& change, NameCoding names) {
  HeldName held = HeldNameOf(change.name, names);
  CardEntry entry;
  entry.card = change.card;
  entry.staff = change.staff;
  entry.name = std::move(held.listed);
  entry.raw_name = std::move(held.raw);
  return entry;
}

// Makes `change` on the terminal and asks whether the card is there now.
// The error in words; empty when done and found so.
std::string Make(Line& line, const TerminalConfig& terminal, const PendingCard& change,
                 const std::stop_token& stop, bool& line_failed) {
  CallOptions call;
  call.stop = stop;
  const auto failed = [&](const Error& error) {
    line_failed = error.code() != ErrorCode::kInvalidArgument;
    return error.message();
  };
  const bool wanted_there = change.change != CardChange::kRemove;
  // A rewrite takes the old entry off first, so that a terminal that keeps
  // a second entry for a card enrolled twice holds only the new one.
  if (change.change != CardChange::kAdd) {
    const Status removed = line.RemoveCard(terminal.address, change.card, call);
    if (!removed) return failed(removed.error());
  }
  if (wanted_there) {
    const Status enrolled =
        line.EnrolCard(terminal.address, change.card, change.staff, change.name, call);
    if (!enrolled) return failed(enrolled.error());
  }
  const Result<bool> found = line.FindCard(terminal.address, change.card, call);
  if (!found) return failed(found.error());
  if (*found != wanted_there) {
    return wanted_there ? "enrolled, but the terminal does not find the card"
                        : "removed, but the terminal still finds the card";
  }
  return "";
}

}  // namespace

void PlanCards(TerminalRuntime& runtime, CardBook& store, const WantedSnapshot& wanted) {
  const TerminalConfig& terminal = *runtime.config;
  if (!terminal.card_list || wanted.version == 0) return;
  const LocalDay today = std::chrono::floor<std::chrono::days>(LocalNow(terminal.time_zone));
  if (runtime.cards_planned_version == wanted.version && runtime.cards_planned_day == today &&
      !runtime.cards_list_changed) {
    return;
  }
  const CardList list = store.Cards(terminal.name);
  const TerminalPlan plan = PlanTerminal(wanted.holders, {CardTerminalOf(terminal), today, list});
  std::vector<PendingCard> pending = PendingOf(plan, wanted.holders, today, UtcNow());
  store.SetPendingCards(terminal.name, pending);
  runtime.cards_pending = std::move(pending);
  runtime.cards_planned_version = wanted.version;
  runtime.cards_planned_day = today;
  // Planned from a list never collected, the plan is the wanted cards only:
  // planned again once the list comes.
  runtime.cards_list_changed = !plan.list_known;
}

namespace {

// Written ahead: each card about to be enrolled goes on the stored list
// first, with no staff number or name, as a card the terminal may hold. An
// enrolment whose answer is lost, or a collector killed after sending one,
// then leaves a list that holds too much, never too little: the card is
// planned as a rewrite, or as a removal once it no longer belongs, so that a
// revocation never waits for the list to be read again. Returns the list.
CardList WriteAhead(CardBook& store, TerminalRuntime& runtime,
                    const std::vector<PendingCard>& todo) {
  const std::string& name = runtime.config->name;
  CardList list = store.Cards(name);
  const size_t listed = list.cards.size();
  for (const PendingCard& change : todo) {
    if (change.change != CardChange::kAdd) continue;
    CardEntry maybe;
    maybe.position = static_cast<int32_t>(list.cards.size());
    maybe.card = change.card;
    list.cards.push_back(std::move(maybe));
  }
  if (list.cards.size() > listed) {
    store.ReplaceCards(name, list.cards, list.collected.value_or(UtcNow()));
    runtime.cards_list_changed = true;
  }
  return list;
}

// What a run of changes on a terminal came to.
struct CardsMade {
  std::vector<CardOutcome> outcomes;
  std::map<uint32_t, const PendingCard*> done;  // by card
  std::string first_error;
};

// Makes the changes of `todo` in order, until the line fails or a stop.
CardsMade MakeChanges(Line& line, TerminalRuntime& runtime, const std::vector<PendingCard>& todo,
                      const std::stop_token& stop) {
  const TerminalConfig& terminal = *runtime.config;
  CardsMade made;
  for (const PendingCard& change : todo) {
    if (stop.stop_requested()) break;
    bool line_failed = false;
    const std::string error = Make(line, terminal, change, stop, line_failed);
    made.outcomes.push_back({terminal.name, change.card, change.change, UtcNow(), error});
    if (error.empty()) {
      made.done[change.card] = &change;
    } else {
      // The terminal may have made the change all the same (the reply was
      // lost), or half of a rewrite: its list is read again at the next
      // poll, before anything else is planned from it.
      runtime.cards_wanted = true;
      if (made.first_error.empty()) {
        made.first_error = "card " + std::to_string(change.card) + " (" +
                           CardChangeName(change.change) + "): " + error;
      }
    }
    if (line_failed) break;
  }
  return made;
}

// Keeps the list as it is now: what was found done is so on the terminal;
// the rest is as last read, with the cards written ahead.
void KeepListAsMade(CardBook& store, TerminalRuntime& runtime, CardList& list,
                    const CardsMade& made) {
  if (made.done.empty()) return;
  std::vector<CardEntry> now;
  for (CardEntry& entry : list.cards) {
    if (!made.done.contains(entry.card)) now.push_back(std::move(entry));
  }
  for (const auto& [card, change] : made.done) {
    if (change->change != CardChange::kRemove) now.push_back(EntryOf(*change, LineOptions{}.names));
  }
  for (size_t i = 0; i < now.size(); ++i) now[i].position = static_cast<int32_t>(i);
  store.ReplaceCards(runtime.config->name, now, UtcNow());
  runtime.cards_list_changed = true;
}

// "gate-1: cards: 2 enrolled, 0 rewritten, 1 removed; 1 failed, the first
// ...; 3 pending", at warning when one failed (which the poll's error then
// names).
void LogCardsMade(const TerminalRuntime& runtime, const CardsMade& made, Collection& collection) {
  int counts[3] = {};
  for (const auto& [card, change] : made.done) ++counts[static_cast<int>(change->change)];
  std::string text = "cards: " + std::to_string(counts[0]) + " enrolled, " +
                     std::to_string(counts[1]) + " rewritten, " + std::to_string(counts[2]) +
                     " removed";
  const size_t failed = made.outcomes.size() - made.done.size();
  if (failed > 0) {
    text += "; " + std::to_string(failed) + " failed, the first " + made.first_error;
    AppendError(collection, made.first_error);
  }
  const size_t left = runtime.cards_pending.size();
  if (left > 0) text += "; " + std::to_string(left) + " pending";
  Log(failed > 0 ? LogLevel::kWarning : LogLevel::kInfo, runtime.config->name + ": " + text);
}

}  // namespace

void CarryOutCards(Line& line, TerminalRuntime& runtime, CardBook& store,
                   const WantedSnapshot& wanted, const std::stop_token& stop,
                   Collection& collection) {
  PlanCards(runtime, store, wanted);
  // Nothing is changed on a list that was never read: what else it holds,
  // and so what to take off, is not known.
  if (runtime.cards_pending.empty() || runtime.cards_list_changed) return;
  std::vector<PendingCard> todo = runtime.cards_pending;
  std::stable_sort(todo.begin(), todo.end(), [](const PendingCard& a, const PendingCard& b) {
    return Urgency(a.change) < Urgency(b.change);
  });
  CardList list = WriteAhead(store, runtime, todo);
  const CardsMade made = MakeChanges(line, runtime, todo, stop);
  if (!made.outcomes.empty()) store.FinishCardChanges(made.outcomes);
  KeepListAsMade(store, runtime, list, made);
  PlanCards(runtime, store, wanted);
  LogCardsMade(runtime, made, collection);
}

}  // namespace tallygate::collector
