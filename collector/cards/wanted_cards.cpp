#include "collector/cards/wanted_cards.h"

#include <algorithm>

#include "collector/base/time_zone.h"

namespace tallygate::collector {
namespace {

const Cardholder* Find(const WantedSnapshot& snapshot, uint32_t card) {
  const auto it = std::lower_bound(
      snapshot.holders.begin(), snapshot.holders.end(), card,
      [](const Cardholder& holder, uint32_t wanted) { return holder.card < wanted; });
  return it != snapshot.holders.end() && it->card == card ? &*it : nullptr;
}

}  // namespace

CardFleet CurrentCardFleet(const CollectorConfig& config) {
  CardFleet fleet{CardTerminals(config),
                  {},
                  std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now())};
  for (const TerminalConfig& terminal : config.terminals) {
    fleet.today.push_back(std::chrono::floor<std::chrono::days>(LocalNow(terminal.time_zone)));
  }
  return fleet;
}

std::shared_ptr<const WantedSnapshot> WantedCards::Now() const {
  const std::lock_guard lock(mutex_);
  return now_;
}

std::set<uint32_t> WantedCards::Refresh(CardBook& store) {
  const int64_t version = store.CardholdersVersion();
  const std::shared_ptr<const WantedSnapshot> before = Now();
  if (version == before->version) return {};
  auto after = std::make_shared<WantedSnapshot>();
  after->version = version;
  after->holders = store.Cardholders();
  std::set<uint32_t> changed;
  for (const Cardholder& holder : after->holders) {
    const Cardholder* old = Find(*before, holder.card);
    if (old == nullptr || !(*old == holder)) changed.insert(holder.card);
  }
  {
    const std::lock_guard lock(mutex_);
    now_ = std::move(after);
  }
  return changed;
}

bool WantedCards::Concerns(const WantedSnapshot& before, const WantedSnapshot& after,
                           const std::set<uint32_t>& cards, const CardTerminal& terminal) {
  return std::any_of(cards.begin(), cards.end(), [&](uint32_t card) {
    for (const WantedSnapshot* snapshot : {&before, &after}) {
      const Cardholder* holder = Find(*snapshot, card);
      if (holder != nullptr && Takes(holder->where, terminal)) return true;
    }
    return false;
  });
}

bool WantedCards::DayTurns(const WantedSnapshot& wanted, const CardTerminal& terminal,
                           LocalDay today) {
  return std::any_of(wanted.holders.begin(), wanted.holders.end(), [&](const Cardholder& holder) {
    return !holder.revoked && Takes(holder.where, terminal) &&
           (holder.valid_from == today || holder.valid_until == today - std::chrono::days{1});
  });
}

}  // namespace tallygate::collector
