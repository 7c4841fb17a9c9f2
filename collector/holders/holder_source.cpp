#include "collector/holders/holder_source.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "collector/base/log.h"
#include "collector/base/time_zone.h"
#include "collector/holders/holder_plan.h"

namespace tallygate::collector {
namespace {

std::vector<HeldRevocation> Revocations(std::span<const uint32_t> cards,
                                        std::span<const Cardholder> holders) {
  std::map<uint32_t, const Cardholder*> by_card;
  for (const Cardholder& holder : holders) by_card[holder.card] = &holder;
  std::vector<HeldRevocation> held;
  for (uint32_t card : cards) {
    const auto found = by_card.find(card);
    held.push_back({card, found == by_card.end() ? "" : found->second->staff,
                    found == by_card.end() ? "" : found->second->name});
  }
  return held;
}

// The revocations last held for `source`, by card; throws InputError when
// nothing is held.
std::set<uint32_t> HeldCards(CardBook& store, const std::string& source) {
  for (const SourceRead& last : store.SourceReads()) {
    if (last.source != source || last.outcome != SourceRead::Outcome::kHeld) continue;
    std::set<uint32_t> cards;
    for (const HeldRevocation& each : last.held) cards.insert(each.card);
    return cards;
  }
  throw InputError("holder source " + source + " holds no read to confirm");
}

void Count(SourceRead& read, std::span<const CardAudit> audits) {
  for (const CardAudit& audit : audits) {
    switch (audit.action) {
      case CardAction::kAdd: ++read.added; break;
      case CardAction::kChange: ++read.changed; break;
      case CardAction::kRevoke: ++read.revoked; break;
    }
  }
}

void LogRead(const SourceRead& read) {
  const std::string what = "holder source " + read.source + ": " + SourceOutcomeName(read.outcome);
  switch (read.outcome) {
    case SourceRead::Outcome::kMade:
      Log(LogLevel::kInfo, what + ", " + std::to_string(read.employees) + " employees, " +
              std::to_string(read.added) + " added, " + std::to_string(read.changed) +
              " changed, " + std::to_string(read.revoked) + " revoked");
      return;
    case SourceRead::Outcome::kHeld:
      Log(LogLevel::kWarning, what + ": it would revoke " + std::to_string(read.held.size()) +
                 " holders, more than its limit of " + std::to_string(read.revoke_limit) +
                 "; nothing changed until an admin confirms");
      return;
    case SourceRead::Outcome::kRefused:
    case SourceRead::Outcome::kFailed:
      for (const std::string& problem : read.problems) Log(LogLevel::kWarning, what + ": " + problem);
      return;
  }
}

}  // namespace

SourceRun RunHolderSource(const HolderSourceConfig& source, CardBook& store,
                          std::span<const CardTerminal> terminals, LocalDay today, SourceMode mode,
                          std::stop_token stop, const RosterReader& roster) {
  SourceRun run;
  SourceRead& read = run.read;
  read.source = source.name;
  read.at = UtcNow();
  const auto finish = [&]() -> SourceRun {
    if (mode != SourceMode::kPlan) {
      store.KeepSourceRead(read);
      LogRead(read);
    }
    return std::move(run);
  };
  // What the admin saw held; nothing to confirm without it.
  const std::set<uint32_t> held_before =
      mode == SourceMode::kConfirm ? HeldCards(store, source.name) : std::set<uint32_t>{};
  std::vector<Employee> employees;
  try {
    employees = roster(source, stop);
  } catch (const RosterError& error) {
    read.outcome = SourceRead::Outcome::kFailed;
    read.problems = {error.what()};
    // Cut short by the service's stop: not the HR system's failure.
    if (stop.stop_requested()) return run;
    return finish();
  }
  read.employees = static_cast<int64_t>(employees.size());
  const std::vector<Cardholder> before = store.Cardholders();
  HolderPlan plan = PlanHolders(source, employees, before, today);
  read.skipped = std::move(plan.skipped);
  read.revoke_limit = plan.revoke_limit;
  if (!plan.problems.empty()) {
    read.outcome = SourceRead::Outcome::kRefused;
    read.problems = std::move(plan.problems);
    return finish();
  }
  const std::string owner = SourceOwner(source);
  CardholderChanges changes{std::move(plan.put), plan.revoke, false, owner};
  // An admin confirms the revocations they saw held, and no others.
  const bool confirmed =
      plan.held && mode == SourceMode::kConfirm &&
      std::set<uint32_t>(plan.revoke.begin(), plan.revoke.end()) == held_before;
  if (plan.held && !confirmed) {
    read.outcome = SourceRead::Outcome::kHeld;
    read.held = Revocations(plan.revoke, before);
    if (mode == SourceMode::kPlan) {
      run.changes = CheckCardholderChanges(before, terminals, changes, read.at).audits;
    }
    SourceRun held = finish();  // kept: the new list is what an admin confirms next
    if (mode == SourceMode::kConfirm) {
      throw InputError("holder source " + source.name + " would now revoke other holders than " +
                       "those held: look at `holders plan " + source.name + "` and confirm again");
    }
    return held;
  }
  const ChangeResult result =
      mode == SourceMode::kPlan ? CheckCardholderChanges(before, terminals, changes, read.at)
                                : MakeCardholderChanges(store, terminals, changes, owner, read.at);
  if (result.refused()) {
    read.outcome = SourceRead::Outcome::kRefused;
    read.problems = result.problems;
    return finish();
  }
  read.outcome = SourceRead::Outcome::kMade;
  run.changes = result.audits;
  Count(read, run.changes);
  return finish();
}

}  // namespace tallygate::collector
