#include "collector/cards/card_places.h"

#include <algorithm>
#include <set>

#include "collector/cards/card_plan.h"

namespace tallygate::collector {
namespace {

// What one terminal's place of the card is worked out from.
struct Facts {
  const Cardholder& holder;
  const CardTrace& trace;
  // The holder's last change (its revocation at the latest): what a list
  // must have been collected since to tell that the card is gone.
  std::optional<UtcTime> changed;
};

// The change `plan` asks of the card, kept with the history of the same
// change pending in the store (as SetPendingCards keeps it).
TerminalCard Pending(TerminalCard place, const TerminalPlan& plan, const Cardholder& holder,
                     LocalDay today, UtcTime since, const PendingCard* stored) {
  PendingCard change = PendingOf(plan, std::span(&holder, 1), today, since).front();
  if (stored != nullptr && stored->change == change.change) {
    change.since = stored->since;
    change.tried = stored->tried;
    change.error = stored->error;
  }
  place.place = change.error.empty() ? CardPlace::kPending : CardPlace::kFailed;
  place.pending = std::move(change);
  return place;
}

// The card on terminal `name`: `configured` when it is in the
// configuration, `stored` its pending change there. Absent when the
// terminal does not hold it and need not.
std::optional<TerminalCard> PlaceOn(const Facts& facts, const std::string& name,
                                    const CardTerminal* configured, LocalDay today,
                                    const PendingCard* stored) {
  const Cardholder& holder = facts.holder;
  CardList list;
  const auto& lists = facts.trace.lists;
  const auto listing = std::find_if(
      lists.begin(), lists.end(), [&](const CardTrace::Listing& l) { return l.terminal == name; });
  if (listing != lists.end()) {
    list.collected = listing->collected;
    list.cards = listing->entries;
  }
  TerminalCard place{name, CardPlace::kUnknown, std::nullopt, list.collected};
  // Since when the list differs from what is wanted, as far as the store
  // tells, for a change the worker has not kept yet.
  const UtcTime since =
      std::max(facts.changed.value_or(UtcTime{}), list.collected.value_or(UtcTime{}));
  if (configured != nullptr && Belongs(holder, *configured, today)) {
    if (!list.collected) return place;
    const TerminalPlan plan = PlanTerminal(std::span(&holder, 1), {*configured, today, list});
    if (!plan.in_place.empty()) {
      place.place = CardPlace::kInPlace;
      return place;
    }
    return Pending(std::move(place), plan, holder, today, since, stored);
  }
  if (!list.cards.empty() || (stored != nullptr && stored->change == CardChange::kRemove)) {
    TerminalPlan plan;
    plan.terminal = name;
    plan.remove.push_back(list.cards.empty() ? CardEntry{0, holder.card, {}, {}, {}}
                                             : list.cards.front());
    return Pending(std::move(place), plan, holder, today, since, stored);
  }
  const bool named = configured != nullptr && Takes(holder.where, *configured);
  if (named && !holder.revoked) {
    place.place = CardPlace::kOutOfDates;
    return place;
  }
  if (list.collected && (!facts.changed || *list.collected >= *facts.changed)) return std::nullopt;
  const auto& tried = facts.trace.tried_on;
  if (named || std::find(tried.begin(), tried.end(), name) != tried.end()) return place;
  return std::nullopt;
}

}  // namespace

const char* CardPlaceName(CardPlace place) {
  switch (place) {
    case CardPlace::kInPlace: return "in place";
    case CardPlace::kPending: return "pending";
    case CardPlace::kFailed: return "failed";
    case CardPlace::kOutOfDates: return "outside dates";
    case CardPlace::kUnknown: return "unknown";
  }
  return "?";
}

std::vector<TerminalCard> PlacesOf(const Cardholder& holder, const CardTrace& trace,
                                   const CardFleet& fleet, std::span<const PendingCard> pending) {
  Facts facts{holder, trace, trace.changed};
  if (holder.revoked && (!facts.changed || *facts.changed < *holder.revoked)) {
    facts.changed = holder.revoked;
  }
  const auto stored = [&](const std::string& terminal) -> const PendingCard* {
    const auto found = std::find_if(pending.begin(), pending.end(), [&](const PendingCard& p) {
      return p.card == holder.card && p.terminal == terminal;
    });
    return found == pending.end() ? nullptr : &*found;
  };
  // Terminals no longer configured, where the card may be all the same.
  std::set<std::string> others(trace.tried_on.begin(), trace.tried_on.end());
  for (const CardTrace::Listing& listing : trace.lists) {
    if (!listing.entries.empty()) others.insert(listing.terminal);
  }
  for (const PendingCard& change : pending) {
    if (change.card == holder.card) others.insert(change.terminal);
  }
  std::vector<TerminalCard> places;
  const auto add = [&](std::optional<TerminalCard> place) {
    if (place) places.push_back(std::move(*place));
  };
  for (size_t i = 0; i < fleet.terminals.size(); ++i) {
    const std::string& name = fleet.terminals[i].name;
    others.erase(name);
    add(PlaceOn(facts, name, &fleet.terminals[i], fleet.today[i], stored(name)));
  }
  const LocalDay today{std::chrono::floor<std::chrono::days>(fleet.now).time_since_epoch()};
  for (const std::string& name : others) add(PlaceOn(facts, name, nullptr, today, stored(name)));
  return places;
}

std::vector<std::vector<TerminalCard>> ReadPlaces(CardBook& store, const CardFleet& fleet,
                                                  std::span<const Cardholder> holders) {
  std::vector<uint32_t> cards;
  for (const Cardholder& holder : holders) cards.push_back(holder.card);
  const std::vector<CardTrace> traces = store.CardTraces(cards);
  const std::optional<uint32_t> one =
      holders.size() == 1 ? std::optional(holders.front().card) : std::nullopt;
  const std::vector<PendingCard> pending = store.PendingCards("", one);
  std::vector<std::vector<TerminalCard>> places;
  for (size_t i = 0; i < holders.size(); ++i) {
    places.push_back(PlacesOf(holders[i], traces[i], fleet, pending));
  }
  return places;
}

}  // namespace tallygate::collector
