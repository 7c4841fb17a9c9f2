#include "collector/cards/card_changes.h"

#include <map>

#include "collector/cards/holder_check.h"

namespace tallygate::collector {

std::vector<std::string> CapacityProblems(std::span<const Cardholder> holders,
                                          std::span<const CardTerminal> terminals) {
  std::vector<std::string> problems;
  for (const CardTerminal& terminal : terminals) {
    int64_t wanted = 0;
    for (const Cardholder& holder : holders) {
      if (!holder.revoked && Takes(holder.where, terminal)) ++wanted;
    }
    if (wanted > terminal.capacity) {
      problems.push_back("terminal '" + terminal.name + "' would hold " + std::to_string(wanted) +
                         " cards, more than its " + std::to_string(terminal.capacity));
    }
  }
  return problems;
}

std::vector<std::string> OwnerProblems(std::span<const Cardholder> before,
                                       const CardholderChanges& changes) {
  std::map<uint32_t, const Cardholder*> now;
  for (const Cardholder& holder : before) now[holder.card] = &holder;
  std::vector<std::string> problems;
  const auto check = [&](uint32_t card) {
    const auto found = now.find(card);
    if (found == now.end() || found->second->revoked || found->second->owner == changes.owner) {
      return;
    }
    const std::string& owner = found->second->owner;
    problems.push_back(
        "card " + std::to_string(card) + " is kept by " +
        (owner.empty() ? std::string("hand (the cards commands, a file, the dashboard)")
                       : owner + ": change it in that HR system"));
  };
  for (const Cardholder& holder : changes.put) check(holder.card);
  for (uint32_t card : changes.revoke) check(card);
  return problems;
}

ChangeResult CheckCardholderChanges(std::span<const Cardholder> before,
                                    std::span<const CardTerminal> terminals,
                                    const CardholderChanges& changes, UtcTime when) {
  ChangeResult result;
  result.problems = OwnerProblems(before, changes);
  for (const Cardholder& holder : changes.put) {
    for (const std::string& problem : HolderProblems(holder, terminals)) {
      result.problems.push_back("card " + std::to_string(holder.card) + ": " + problem);
    }
  }
  if (result.refused()) return result;
  const std::vector<Cardholder> after = AfterChanges(before, changes, when);
  result.problems = CapacityProblems(after, terminals);
  if (!result.refused()) result.audits = Differences(before, after);
  return result;
}

ChangeResult MakeCardholderChanges(CardBook& store, std::span<const CardTerminal> terminals,
                                   const CardholderChanges& changes, const std::string& by,
                                   UtcTime when) {
  // The capacity is checked against the lists as they are now; two writers
  // adding at once may each fit and together not: the terminal then
  // refuses the enrolment, which its pending change shows.
  ChangeResult result = CheckCardholderChanges(store.Cardholders(), terminals, changes, when);
  if (!result.refused()) result.audits = store.ChangeCardholders(changes, by, when);
  return result;
}

}  // namespace tallygate::collector
