#include "collector/cards/card_terminal.h"

#include <algorithm>

#include "collector/base/cardholder.h"

namespace tallygate::collector {

CardTerminal CardTerminalOf(const TerminalConfig& terminal) {
  // The fleet opens every line with the default LineOptions: its names are
  // coded so.
  return {terminal.name, terminal.groups, LineOptions{}.names, terminal.card_capacity,
          terminal.remove_unknown_cards};
}

std::vector<CardTerminal> CardTerminals(const CollectorConfig& config) {
  std::vector<CardTerminal> terminals;
  for (const TerminalConfig& terminal : config.terminals) {
    terminals.push_back(CardTerminalOf(terminal));
  }
  return terminals;
}

bool Takes(const std::vector<std::string>& where, const CardTerminal& terminal) {
  return std::any_of(where.begin(), where.end(), [&](const std::string& name) {
    return name == kEveryTerminal || name == terminal.name ||
           std::find(terminal.groups.begin(), terminal.groups.end(), name) !=
               terminal.groups.end();
  });
}

}  // namespace tallygate::collector
