#include "collector/web/card_writes.h"

#include "collector/base/time_zone.h"

namespace tallygate::collector::web {

ChangeResult ChangeCards(Dashboard& dashboard, const CardholderChanges& changes,
                         const std::string& by) {
  const std::vector<CardTerminal> terminals = CardTerminals(*dashboard.Config());
  return dashboard.WithStore([&](CardBook& store) {
    return MakeCardholderChanges(store, terminals, changes, by, UtcNow());
  });
}

ChangeResult PreviewCards(Dashboard& dashboard, const CardholderChanges& changes) {
  const std::vector<CardTerminal> terminals = CardTerminals(*dashboard.Config());
  const std::vector<Cardholder> before =
      dashboard.WithStore([](CardBook& store) { return store.Cardholders(); });
  return CheckCardholderChanges(before, terminals, changes, UtcNow());
}

}  // namespace tallygate::collector::web
