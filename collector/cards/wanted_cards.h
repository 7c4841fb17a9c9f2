// The wanted card lists as the fleet's workers share them: one snapshot of
// the cardholders, read again from the store only when its version moved
// (whoever changed them: the command line, the dashboard, another
// collector), so that a poll of a terminal whose lists did not change
// costs no query.
#ifndef TALLYGATE_COLLECTOR_CARDS_WANTED_CARDS_H_
#define TALLYGATE_COLLECTOR_CARDS_WANTED_CARDS_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <vector>

#include "collector/cards/card_places.h"
#include "collector/cards/card_terminal.h"
#include "collector/store/card_book.h"

namespace tallygate::collector {

struct WantedSnapshot {
  int64_t version = 0;                // 0: no cardholder was ever kept
  std::vector<Cardholder> holders;    // by card, revoked ones too
};

// The configuration's terminals as the card lists see them, each with its
// today, now.
CardFleet CurrentCardFleet(const CollectorConfig& config);

class WantedCards {
 public:
  // The snapshot now; version 0 and no holders before the first Refresh.
  std::shared_ptr<const WantedSnapshot> Now() const;

  // Reads the holders again when the store's version is not the
  // snapshot's. Returns the cards whose holder changed meanwhile (none when
  // nothing did). Throws StoreError.
  std::set<uint32_t> Refresh(CardBook& store);

  // Whether a change of `cards` between `before` and `after` can concern
  // `terminal`: the card's holder, before or after, names it.
  static bool Concerns(const WantedSnapshot& before, const WantedSnapshot& after,
                       const std::set<uint32_t>& cards, const CardTerminal& terminal);

  // Whether a holder who names `terminal` starts to belong on it on `today`
  // or stopped belonging at its start (valid_from today, valid_until the
  // day before): the day's turn changes that terminal's list.
  static bool DayTurns(const WantedSnapshot& wanted, const CardTerminal& terminal, LocalDay today);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const WantedSnapshot> now_ = std::make_shared<WantedSnapshot>();
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_WANTED_CARDS_H_
