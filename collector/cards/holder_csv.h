// Cardholders from a CSV file, as an HR system exports them (UTF-8, RFC
// 4180, a header row):
//
//   card,staff,name,terminals,valid_from,valid_until
//   0x0012D687,1024,张三,gates;canteen,2026-01-01,
//   1234567,1025,Ann Lee,*,,2026-12-31
//
// card is decimal or hexadecimal (0x0012D687); terminals are terminal and
// group names separated by ';', or '*'; valid_from and valid_until are
// optional columns of YYYY-MM-DD days, empty for no limit. Columns may come
// in any order.
#ifndef TALLYGATE_COLLECTOR_CARDS_HOLDER_CSV_H_
#define TALLYGATE_COLLECTOR_CARDS_HOLDER_CSV_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collector/cards/card_terminal.h"
#include "collector/base/cardholder.h"

namespace tallygate::collector {

// A bad line of the file.
struct LineProblem {
  int line = 0;
  std::string what;
};

struct HolderFile {
  std::vector<Cardholder> holders;  // in the file's order, each card once
  std::vector<LineProblem> problems;  // by line; the file is to be refused whole
};

// Reads every line, and tells every bad one: a line that is not CSV, a
// header without a column it needs (or with one it does not know), a card
// that is not a number, a card on two lines with two different holders, a
// date that is not one, and what HolderProblems finds among `terminals`.
HolderFile ReadHolderCsv(std::string_view text, std::span<const CardTerminal> terminals);

// "gates; canteen" as {"gates", "canteen"}: names trimmed of spaces, empty
// ones left out.
std::vector<std::string> SplitNames(std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_HOLDER_CSV_H_
