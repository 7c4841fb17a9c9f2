// The terminals as the card lists see them: a name, the groups a
// cardholder's terminals may name instead, and how its name field is coded.
#ifndef TALLYGATE_COLLECTOR_CARDS_CARD_TERMINAL_H_
#define TALLYGATE_COLLECTOR_CARDS_CARD_TERMINAL_H_

#include <string>
#include <vector>

#include "collector/config/config.h"
#include "tallygate/terminal.h"

namespace tallygate::collector {

struct CardTerminal {
  std::string name;
  std::vector<std::string> groups;
  NameCoding names = NameCoding::kGbk;
  int32_t capacity = kMostCards;
  bool remove_unknown = false;  // cards nobody asked for are taken off
};

// The terminal as the card lists see it.
CardTerminal CardTerminalOf(const TerminalConfig& terminal);

// The configuration's terminals, in its order.
std::vector<CardTerminal> CardTerminals(const CollectorConfig& config);

// Whether a cardholder's terminals `where` (names, groups, "*") take in
// `terminal`.
bool Takes(const std::vector<std::string>& where, const CardTerminal& terminal);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_CARD_TERMINAL_H_
