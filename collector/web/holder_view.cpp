#include "collector/web/holder_view.h"

#include <algorithm>

#include "collector/cards/card_plan.h"
#include "collector/poll/punch_values.h"
#include "collector/store/value_text.h"

namespace tallygate::collector::web {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Contains(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return Lower(a) == Lower(b); }) != text.end();
}

bool Matches(const Cardholder& holder, std::string_view text, std::optional<uint32_t> card) {
  return text.empty() || holder.card == card || Contains(holder.staff, text) ||
         Contains(holder.name, text);
}

std::optional<uint32_t> CardOf(std::string_view text) {
  try {
    return ParseKeptCard(text);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

}  // namespace

const char* CardPlaceName(CardPlace place) {
  switch (place) {
    case CardPlace::kInPlace: return "in place";
    case CardPlace::kPending: return "pending";
    case CardPlace::kFailed: return "failed";
    case CardPlace::kOutOfDates: return "outside dates";
  }
  return "?";
}

CardFleet CurrentCardFleet(const CollectorConfig& config) {
  CardFleet fleet{CardTerminals(config), {}};
  for (const TerminalConfig& terminal : config.terminals) {
    fleet.today.push_back(std::chrono::floor<std::chrono::days>(LocalNow(terminal.time_zone)));
  }
  return fleet;
}

HolderView ViewHolder(const Cardholder& holder, const CardFleet& fleet,
                      std::span<const PendingCard> pending) {
  HolderView view{holder, {}};
  std::vector<const PendingCard*> left;
  for (const PendingCard& change : pending) {
    if (change.card == holder.card) left.push_back(&change);
  }
  const auto place = [&](const std::string& terminal, CardPlace otherwise) {
    const auto found = std::find_if(left.begin(), left.end(),
                                    [&](const PendingCard* p) { return p->terminal == terminal; });
    if (found == left.end()) {
      view.terminals.push_back({terminal, otherwise, std::nullopt});
      return;
    }
    const PendingCard& change = **found;
    view.terminals.push_back(
        {terminal, change.error.empty() ? CardPlace::kPending : CardPlace::kFailed, change});
    left.erase(found);
  };
  for (size_t i = 0; i < fleet.terminals.size(); ++i) {
    const CardTerminal& terminal = fleet.terminals[i];
    if (holder.revoked || !Takes(holder.where, terminal)) continue;
    place(terminal.name, Belongs(holder, terminal, fleet.today[i]) ? CardPlace::kInPlace
                                                                    : CardPlace::kOutOfDates);
  }
  // Removals (revoked, elsewhere, out of dates) and changes of terminals
  // no longer configured.
  while (!left.empty()) place(left.front()->terminal, CardPlace::kPending);
  return view;
}

HolderPage FindHolders(Dashboard& dashboard, std::string_view text, std::optional<uint32_t> after, size_t limit) {
  const CardFleet fleet = CurrentCardFleet(*dashboard.Config());
  const std::optional<uint32_t> card = CardOf(text);
  return dashboard.WithStore([&](Store& store) {
    HolderPage page;
    std::vector<Cardholder> found;
    for (Cardholder& holder : store.Cardholders()) {
      if (after && holder.card <= *after) continue;
      if (!Matches(holder, text, card)) continue;
      if (found.size() == limit) {
        page.more = true;
        break;
      }
      found.push_back(std::move(holder));
    }
    if (found.empty()) return page;
    const std::vector<PendingCard> pending = store.PendingCards("", std::nullopt);
    for (const Cardholder& holder : found) page.holders.push_back(ViewHolder(holder, fleet, pending));
    return page;
  });
}

std::optional<HolderView> FindHolder(Dashboard& dashboard, uint32_t card) {
  const CardFleet fleet = CurrentCardFleet(*dashboard.Config());
  return dashboard.WithStore([&](Store& store) -> std::optional<HolderView> {
    const std::optional<Cardholder> holder = store.FindCardholder(card);
    if (!holder) return std::nullopt;
    return ViewHolder(*holder, fleet, store.PendingCards("", card));
  });
}

}  // namespace tallygate::collector::web
