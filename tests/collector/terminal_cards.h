// A terminal's card list as the terminal itself holds it, read over TCP
// with the terminal API or from the simulator: what the collector's card
// work is checked against.
#ifndef TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_
#define TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "sim/client/sim_process.h"
#include "tallygate/terminal.h"

namespace tallygate::testing {

// Card to "STAFF NAME" (8 digits, the name without its padding).
using TerminalCards = std::map<uint32_t, std::string>;

inline TerminalCards CardsOnTerminal(const Endpoint& endpoint) {
  TerminalCards cards;
  Result<std::unique_ptr<Line>> line = Line::Open(endpoint);
  EXPECT_TRUE(line) << line.error().message();
  if (!line) return cards;
  const Result<FetchReport> fetched = (*line)->FetchCards(1, 0, [&](const CardEntry& entry) {
    std::string name = entry.name;
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    cards[entry.card] = entry.staff + " " + name;
  });
  EXPECT_TRUE(fetched && fetched->complete()) << (*line)->Name();
  return cards;
}

// The cards terminal #k of a simulated fleet holds now, as the simulator
// lists them (its control channel: no line of the terminal is taken);
// nothing when the list is cut short.
inline std::optional<std::set<uint32_t>> SimCards(SimProcess& fleet, int k) {
  static const std::regex card(R"(^\s*card ([0-9A-Fa-f]{8}) staff)");
  const std::vector<std::string> block = fleet.ControlBlock("status #" + std::to_string(k));
  EXPECT_FALSE(block.empty()) << "status #" << k;
  std::set<uint32_t> cards;
  for (const std::string& line : block) {
    if (line.find("more cards") != std::string::npos) return std::nullopt;
    std::smatch found;
    if (std::regex_search(line, found, card)) {
      cards.insert(static_cast<uint32_t>(std::stoul(found[1], nullptr, 16)));
    }
  }
  return cards;
}

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_
