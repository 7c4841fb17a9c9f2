// Carrying the wanted card lists out on one terminal, by its worker, on the
// line it polls over and never during a collection on that line.
//
// The plan (collector/cards/card_plan.h) is worked out from the wanted
// lists and the terminal's list as last collected, and kept in the store
// as the terminal's pending changes before anything is tried, so that a
// terminal that cannot be reached shows what it still lacks and what it
// may still let in. The changes are then made one by one, removals first
// (a revoked card is the urgent one), each followed by FindCard: a change
// counts as done only once the terminal answers that the card is there, or
// is not. A line that fails ends the work; what is left stays pending for
// the next poll, which reads the terminal's list again first (a change that
// failed may have been made all the same).
//
// A fleet whose store never held a cardholder is left alone, so that
// installing the collector changes no terminal's list before the company
// has said what it wants. Terminals with card_list = false are never
// changed either: their lists are not known.
#ifndef TALLYGATE_COLLECTOR_POLL_CARD_WORK_H_
#define TALLYGATE_COLLECTOR_POLL_CARD_WORK_H_

#include <stop_token>

#include "collector/poll/terminal_poll.h"
#include "collector/cards/wanted_cards.h"

namespace tallygate::collector {

// Works out the terminal's pending changes again when the wanted lists,
// the terminal's day or its list changed since the last time, and keeps
// them in the store. Cheap otherwise: no query. Throws StoreError.
void PlanCards(TerminalRuntime& runtime, CardBook& store, const WantedSnapshot& wanted);

// Plans, then makes the pending changes on `line`; a failure is added to
// the collection's error. Throws StoreError.
void CarryOutCards(Line& line, TerminalRuntime& runtime, CardBook& store,
                   const WantedSnapshot& wanted, const std::stop_token& stop,
                   Collection& collection);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_CARD_WORK_H_
