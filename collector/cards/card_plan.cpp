#include "collector/cards/card_plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "collector/cards/held_name.h"

namespace tallygate::collector {

std::string StaffDigits(const std::string& staff) {
  return staff.size() >= 8 ? staff : std::string(8 - staff.size(), '0') + staff;
}

bool Belongs(const Cardholder& holder, const CardTerminal& terminal, LocalDay today) {
  if (holder.revoked || !Takes(holder.where, terminal)) return false;
  if (holder.valid_from && today < *holder.valid_from) return false;
  return !holder.valid_until || today <= *holder.valid_until;
}

namespace {

// `entry` with the name the terminal takes.
WantedEntry Enrolled(WantedEntry entry, NameCoding coding) {
  entry.name = HeldNameOf(entry.name, coding).enrolled;
  return entry;
}

}  // namespace

TerminalPlan PlanTerminal(std::span<const Cardholder> holders, const TerminalCards& terminal) {
  TerminalPlan plan;
  plan.terminal = terminal.terminal.name;
  plan.list_known = terminal.list.collected.has_value();
  std::map<uint32_t, WantedEntry> wanted;
  std::set<uint32_t> known;
  for (const Cardholder& holder : holders) {
    known.insert(holder.card);
    if (Belongs(holder, terminal.terminal, terminal.today)) {
      wanted[holder.card] = {holder.card, StaffDigits(holder.staff), holder.name};
    }
  }
  std::vector<CardEntry> listed = terminal.list.cards;
  std::sort(listed.begin(), listed.end(),
            [](const CardEntry& a, const CardEntry& b) { return a.card < b.card; });
  std::set<uint32_t> held;
  for (const CardEntry& entry : listed) {
    // A card listed twice is one card: the terminal finds and removes it by
    // its number.
    if (!held.insert(entry.card).second) continue;
    const auto it = wanted.find(entry.card);
    if (it == wanted.end()) {
      if (known.contains(entry.card)) {
        plan.remove.push_back(entry);
      } else {
        plan.unknown.push_back(entry);
        if (terminal.terminal.remove_unknown) plan.remove.push_back(entry);
      }
    } else if (it->second.staff != entry.staff ||
               !HoldsName(entry.name, it->second.name, terminal.terminal.names)) {
      plan.rewrite.push_back(Enrolled(it->second, terminal.terminal.names));
    } else {
      plan.in_place.push_back(entry.card);
    }
  }
  for (const auto& [card, entry] : wanted) {
    if (!held.contains(card)) plan.add.push_back(Enrolled(entry, terminal.terminal.names));
  }
  return plan;
}

namespace {

const Cardholder* HolderOf(std::span<const Cardholder> holders, uint32_t card) {
  const auto it = std::lower_bound(holders.begin(), holders.end(), card,
                                   [](const Cardholder& h, uint32_t c) { return h.card < c; });
  return it != holders.end() && it->card == card ? &*it : nullptr;
}

}  // namespace

std::vector<PendingCard> PendingOf(const TerminalPlan& plan, std::span<const Cardholder> holders,
                                   LocalDay today, UtcTime now) {
  std::vector<PendingCard> pending;
  for (const CardEntry& entry : plan.remove) {
    PendingCard change;
    change.terminal = plan.terminal;
    change.card = entry.card;
    change.change = CardChange::kRemove;
    change.since = now;
    const Cardholder* holder = HolderOf(holders, entry.card);
    if (holder == nullptr) {
      change.reason = "unknown";
    } else if (holder->revoked) {
      change.reason = "revoked";
      change.since = std::min(now, *holder->revoked);
    } else if (holder->valid_until && today > *holder->valid_until) {
      change.reason = "expired";
    } else if (holder->valid_from && today < *holder->valid_from) {
      change.reason = "not valid yet";
    } else {
      change.reason = "elsewhere";
    }
    pending.push_back(std::move(change));
  }
  for (const auto* entries : {&plan.add, &plan.rewrite}) {
    for (const WantedEntry& entry : *entries) {
      PendingCard change;
      change.terminal = plan.terminal;
      change.card = entry.card;
      change.change = entries == &plan.add ? CardChange::kAdd : CardChange::kRewrite;
      change.staff = entry.staff;
      change.name = entry.name;
      change.since = now;
      pending.push_back(std::move(change));
    }
  }
  std::sort(pending.begin(), pending.end(),
            [](const PendingCard& a, const PendingCard& b) { return a.card < b.card; });
  return pending;
}

}  // namespace tallygate::collector
