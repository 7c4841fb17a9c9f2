#include "collector/web/holder_view.h"

#include <algorithm>

#include "collector/cards/wanted_cards.h"
#include "collector/base/value_text.h"

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
  } catch (const InputError&) {
    return std::nullopt;
  }
}

}  // namespace

HolderPage FindHolders(Dashboard& dashboard, std::string_view text, std::optional<uint32_t> after, size_t limit) {
  const CardFleet fleet = CurrentCardFleet(*dashboard.Config());
  const std::optional<uint32_t> card = CardOf(text);
  return dashboard.WithStore([&](CardBook& store) {
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
    std::vector<std::vector<TerminalCard>> places = ReadPlaces(store, fleet, found);
    for (size_t i = 0; i < found.size(); ++i) {
      page.holders.push_back({std::move(found[i]), std::move(places[i])});
    }
    return page;
  });
}

std::optional<HolderView> FindHolder(Dashboard& dashboard, uint32_t card) {
  const CardFleet fleet = CurrentCardFleet(*dashboard.Config());
  return dashboard.WithStore([&](CardBook& store) -> std::optional<HolderView> {
    const std::optional<Cardholder> holder = store.FindCardholder(card);
    if (!holder) return std::nullopt;
    return HolderView{*holder, std::move(ReadPlaces(store, fleet, std::span(&*holder, 1)).front())};
  });
}

}  // namespace tallygate::collector::web
