#include "collector/holders/holder_plan.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

std::string Who(const Employee& employee) {
  return employee.name.empty() ? employee.id : employee.id + " (" + employee.name + ")";
}

// The card card_field holds, or why it is none.
std::optional<uint32_t> CardOf(const Employee& employee, const HolderSourceConfig& source,
                               std::vector<std::string>& problems) {
  try {
    return source.card_hex ? ParseCard("0x" + employee.card) : ParseKeptCard(employee.card);
  } catch (const InputError& error) {
    problems.push_back(Who(employee) + ": " + source.card_field + " \"" + employee.card +
                       "\" is no card (card_format = \"" +
                       (source.card_hex ? "hex" : "decimal") + "\"): " + error.what());
    return std::nullopt;
  }
}

std::vector<std::string> GroupsOf(const Employee& employee, const HolderSourceConfig& source) {
  for (const auto& [value, groups] : source.groups) {
    if (value == employee.group) return groups;
  }
  return source.default_groups;
}

}  // namespace

std::string SourceOwner(const HolderSourceConfig& source) { return "hr:" + source.name; }

HolderPlan PlanHolders(const HolderSourceConfig& source, std::span<const Employee> employees,
                       std::span<const Cardholder> holders, LocalDay today) {
  HolderPlan plan;
  const std::string owner = SourceOwner(source);
  std::map<uint32_t, const Cardholder*> now;
  for (const Cardholder& holder : holders) now[holder.card] = &holder;
  std::map<uint32_t, const Employee*> taken;
  for (const Employee& employee : employees) {
    if (!employee.active) continue;  // its holder, if any, is revoked below
    if (employee.card.empty()) {
      plan.skipped.push_back(Who(employee) + ": no " + source.card_field);
      continue;
    }
    const std::optional<uint32_t> card = CardOf(employee, source, plan.problems);
    if (!card) continue;
    if (const auto [first, fresh] = taken.emplace(*card, &employee); !fresh) {
      plan.problems.push_back("card " + std::to_string(*card) + " is both " + Who(*first->second) +
                              "'s and " + Who(employee) + "'s");
      continue;
    }
    if (const auto held = now.find(*card);
        held != now.end() && !held->second->revoked && held->second->owner != owner) {
      plan.problems.push_back(
          "card " + std::to_string(*card) + " of " + Who(employee) + " is held by " +
          (held->second->owner.empty() ? "a holder added by hand" : held->second->owner) +
          ": revoke it there, or take the card off the employee");
      continue;
    }
    Cardholder holder;
    holder.card = *card;
    holder.staff = employee.staff;
    holder.name = employee.name;
    if (employee.valid_from && *employee.valid_from > today) holder.valid_from = employee.valid_from;
    holder.valid_until = employee.valid_until;
    holder.where = GroupsOf(employee, source);
    holder.owner = owner;
    plan.put.push_back(std::move(holder));
  }
  int64_t owned = 0;
  for (const Cardholder& holder : holders) {
    if (holder.owner != owner || holder.revoked) continue;
    ++owned;
    if (!taken.contains(holder.card)) plan.revoke.push_back(holder.card);
  }
  plan.revoke_limit =
      source.max_revoke_count > 0
          ? source.max_revoke_count
          : std::max<int64_t>(1, static_cast<int64_t>(std::floor(
                                     source.max_revoke_share * static_cast<double>(owned))));
  plan.held = static_cast<int64_t>(plan.revoke.size()) > plan.revoke_limit;
  return plan;
}

}  // namespace tallygate::collector
