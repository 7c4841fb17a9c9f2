// A terminal's card list as the terminal itself holds it, read over TCP
// with the terminal API: what the collector's card work is checked against.
#ifndef TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_
#define TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

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

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_COLLECTOR_TERMINAL_CARDS_H_
