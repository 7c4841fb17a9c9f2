// A cardholder checked before it is kept: what a terminal could not hold,
// and names that no terminal answers to, are refused when the change is
// made, never found out later on a terminal.
#ifndef TALLYGATE_COLLECTOR_CARDS_HOLDER_CHECK_H_
#define TALLYGATE_COLLECTOR_CARDS_HOLDER_CHECK_H_

#include <span>
#include <string>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/base/cardholder.h"

namespace tallygate::collector {

// What is wrong with `holder` among `terminals`, each problem in words;
// none when it may be kept:
//   a staff number or name with a control character (a NUL, a tab, a line
//     break...);
//   a staff number that is empty, not digits, or longer than 8;
//   no terminals, or a name in them that is neither a terminal nor a group;
//   a name that one of its terminals cannot hold: not UTF-8, a character
//     its code page lacks, more bytes than its name field has;
//   valid_until before valid_from.
std::vector<std::string> HolderProblems(const Cardholder& holder,
                                        std::span<const CardTerminal> terminals);

// The same, each with the field it is about: "staff", "terminals", "name"
// or "valid_until".
struct HolderProblem {
  const char* field;
  std::string what;
};
std::vector<HolderProblem> HolderFieldProblems(const Cardholder& holder,
                                               std::span<const CardTerminal> terminals);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_HOLDER_CHECK_H_
