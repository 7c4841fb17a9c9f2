#include "collector/web/card_writes.h"

namespace tallygate::collector::web {
namespace {

UtcTime Now() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

}  // namespace

ChangeResult ChangeCards(Dashboard& dashboard, const CardholderChanges& changes,
                         const std::string& by) {
  const std::vector<CardTerminal> terminals = CardTerminals(*dashboard.Config());
  return dashboard.WithStore([&](CardBook& store) {
    return MakeCardholderChanges(store, terminals, changes, by, Now());
  });
}

ChangeResult PreviewCards(Dashboard& dashboard, const CardholderChanges& changes) {
  const std::vector<CardTerminal> terminals = CardTerminals(*dashboard.Config());
  const std::vector<Cardholder> before =
      dashboard.WithStore([](CardBook& store) { return store.Cardholders(); });
  return CheckCardholderChanges(before, terminals, changes, Now());
}

}  // namespace tallygate::collector::web
