// Changes of the wanted card lists as every writer makes them (the command
// line, the JSON API, the dashboard): checked whole against the terminals,
// then made and audited in one transaction, or refused with every reason
// and nothing changed.
#ifndef TALLYGATE_COLLECTOR_CARDS_CARD_CHANGES_H_
#define TALLYGATE_COLLECTOR_CARDS_CARD_CHANGES_H_

#include <span>
#include <string>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/base/cardholder.h"
#include "collector/store/card_book.h"

namespace tallygate::collector {

struct ChangeResult {
  std::vector<std::string> problems;  // why it was refused: nothing changed
  std::vector<CardAudit> audits;      // what changed, by card; none when already so
  bool refused() const { return !problems.empty(); }
};

// The terminals that would have to hold more cards than their lists take,
// with `holders` (by card, revoked ones too) wanted: one problem each. A
// holder counts on every terminal it names whatever its dates, so that a
// list that fits today still fits on the day a later holder starts.
std::vector<std::string> CapacityProblems(std::span<const Cardholder> holders,
                                          std::span<const CardTerminal> terminals);

// The cards `changes` would put or revoke that another owner keeps (a
// person's holders are not the HR system's to change, nor the other way
// round): one problem each. A revoked holder is anyone's to put again.
std::vector<std::string> OwnerProblems(std::span<const Cardholder> before,
                                       const CardholderChanges& changes);

// Checks the owners (OwnerProblems), each holder `changes` puts
// (HolderProblems) and the lists after them (CapacityProblems) against the
// lists `before` (by card), without
// changing anything: the audit rows the change would write (id, when and
// by left empty), or why it is refused.
ChangeResult CheckCardholderChanges(std::span<const Cardholder> before,
                                    std::span<const CardTerminal> terminals,
                                    const CardholderChanges& changes, UtcTime when);

// CheckCardholderChanges against the store's lists, then makes them, done
// by `by` at `when`.
ChangeResult MakeCardholderChanges(CardBook& store, std::span<const CardTerminal> terminals,
                                   const CardholderChanges& changes, const std::string& by,
                                   UtcTime when);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_CARD_CHANGES_H_
