#include "collector/base/cardholder.h"

#include <algorithm>
#include <map>

#include "collector/base/field_text.h"
#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

std::string Validity(const Cardholder& holder) {
  const auto day = [](const std::optional<LocalDay>& d) { return d ? DayText(*d) : "-"; };
  if (!holder.valid_from && !holder.valid_until) return "always";
  return day(holder.valid_from) + " to " + day(holder.valid_until);
}

// The fields people set, in words.
std::string HolderText(const Cardholder& holder) {
  return "staff " + holder.staff + ", name \"" + holder.name + "\", terminals " +
         WhereText(holder.where) + ", valid " + Validity(holder);
}

// The fields that differ, each "field A -> B".
std::string ChangedText(const Cardholder& before, const Cardholder& after) {
  std::string text;
  const auto field = [&](const char* name, const std::string& a, const std::string& b) {
    if (a == b) return;
    if (!text.empty()) text += "; ";
    text += std::string(name) + " " + a + " -> " + b;
  };
  field("staff", before.staff, after.staff);
  field("name", "\"" + before.name + "\"", "\"" + after.name + "\"");
  field("terminals", WhereText(before.where), WhereText(after.where));
  field("valid", Validity(before), Validity(after));
  return text;
}

std::map<uint32_t, const Cardholder*> ByCard(std::span<const Cardholder> holders) {
  std::map<uint32_t, const Cardholder*> cards;
  for (const Cardholder& holder : holders) cards[holder.card] = &holder;
  return cards;
}

}  // namespace

const char* CardActionName(CardAction action) {
  switch (action) {
    case CardAction::kAdd: return "add";
    case CardAction::kChange: return "change";
    case CardAction::kRevoke: return "revoke";
  }
  return "?";
}

const char* CardChangeName(CardChange change) {
  switch (change) {
    case CardChange::kAdd: return "add";
    case CardChange::kRewrite: return "rewrite";
    case CardChange::kRemove: return "remove";
  }
  return "?";
}

std::optional<CardChange> CardChangeFromName(std::string_view name) {
  for (CardChange change : {CardChange::kAdd, CardChange::kRewrite, CardChange::kRemove}) {
    if (name == CardChangeName(change)) return change;
  }
  return std::nullopt;
}

std::string WhereText(const std::vector<std::string>& where) {
  std::string text;
  for (const std::string& name : where) text += (text.empty() ? "" : ";") + name;
  return text;
}

std::vector<Cardholder> AfterChanges(std::span<const Cardholder> holders,
                                     const CardholderChanges& changes, UtcTime when) {
  std::map<uint32_t, Cardholder> after;
  for (const Cardholder& holder : holders) after[holder.card] = holder;
  const auto revoke = [&](Cardholder& holder) {
    if (!holder.revoked) holder.revoked = when;
  };
  if (changes.whole_list) {
    const auto put = ByCard(changes.put);
    for (auto& [card, holder] : after) {
      if (!put.contains(card) && holder.owner == changes.owner) revoke(holder);
    }
  }
  for (const Cardholder& holder : changes.put) {
    Cardholder& kept = after[holder.card];
    kept = holder;
    kept.revoked.reset();
    kept.owner = changes.owner;
  }
  // A card nobody held is revoked all the same: it is taken off any
  // terminal it was enrolled on by hand.
  for (uint32_t card : changes.revoke) {
    auto [it, added] = after.try_emplace(card);
    if (added) it->second.card = card;
    revoke(it->second);
  }
  std::vector<Cardholder> list;
  for (auto& [card, holder] : after) list.push_back(std::move(holder));
  return list;
}

std::vector<CardAudit> Differences(std::span<const Cardholder> before,
                                   std::span<const Cardholder> after) {
  const auto was = ByCard(before);
  std::vector<CardAudit> changes;
  for (const Cardholder& now : after) {
    const auto found = was.find(now.card);
    const Cardholder* old = found == was.end() ? nullptr : found->second;
    // Revoked again: nothing new.
    if (old && (*old == now || (old->revoked && now.revoked))) continue;
    CardAudit& change = changes.emplace_back();
    change.card = now.card;
    if (now.revoked) {
      change.action = CardAction::kRevoke;
      change.what = old ? "revoked: " + HolderText(*old) : "revoked: a card nobody held";
    } else if (!old || old->revoked) {
      change.action = CardAction::kAdd;
      change.what = HolderText(now) + (old ? " (was revoked)" : "");
    } else {
      change.action = CardAction::kChange;
      change.what = ChangedText(*old, now);
    }
    // A name kept before control characters were refused must not cut the
    // audit short, nor break its line.
    change.what = ControlsWritten(change.what);
  }
  return changes;
}

}  // namespace tallygate::collector
