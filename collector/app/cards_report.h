// What the `cards` commands print: each terminal's plan, a cardholder with
// the state of its card on each terminal, and the card's audit.
#ifndef TALLYGATE_COLLECTOR_APP_CARDS_REPORT_H_
#define TALLYGATE_COLLECTOR_APP_CARDS_REPORT_H_

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collector/cards/card_places.h"
#include "collector/cards/card_plan.h"
#include "collector/base/cardholder.h"

namespace tallygate::collector {

// Per terminal: how many cards to add, remove and rewrite, then one line
// for each card (unknown ones too, which stay).
std::string PlanText(std::span<const TerminalPlan> plans);

// The holder's fields (or that nobody holds `card`), where the card stands
// on each terminal that has it or may (`places`; for a card nobody holds,
// `by_hand`: the terminals whose lists hold it), with the last time a change
// of it was carried out there (`outcomes`) or why not, its audit, and every
// attempt at it, newest first (`history`).
std::string CardText(uint32_t card, const std::optional<Cardholder>& holder,
                     std::span<const TerminalCard> places, std::span<const std::string> by_hand,
                     std::span<const CardOutcome> outcomes, std::span<const CardAudit> audits,
                     std::span<const CardOutcome> history);

// One audit row: "2026-03-01T08:00:00Z cli add 0012D687 (1234567): ...".
std::string AuditLine(const CardAudit& audit);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_CARDS_REPORT_H_
