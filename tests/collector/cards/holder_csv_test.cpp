// Cardholders read from an HR system's CSV: good files read in any column
// order, and every bad line told with its line number, names checked
// through the terminal's own code page.
#include "collector/cards/holder_csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

using namespace std::string_literals;

const std::vector<CardTerminal> kTerminals = {
    {"gate-1", {"gates"}, NameCoding::kGbk},
    {"canteen-1", {"canteen"}, NameCoding::kGbk},
};

std::vector<std::string> Problems(const std::string& text) {
  std::vector<std::string> lines;
  for (const LineProblem& p : ReadHolderCsv(text, kTerminals).problems) {
    lines.push_back(std::to_string(p.line) + ": " + p.what);
  }
  return lines;
}

TEST(HolderCsvTest, ReadsAGoodFileInAnyColumnOrder) {
  const HolderFile file = ReadHolderCsv(
      "\xEF\xBB\xBFterminals,name,valid_until,card,staff\r\n"
      "gates; canteen,张三李四,2026-12-31,0x0012D687,1024\r\n"
      "*,\"Li, \"\"A\"\"\",,7654321,00000007\r\n"
      "\r\n"
      "gates;canteen,张三李四,2026-12-31,1234567,1024\r\n",  // line 2 again: one holder
      kTerminals);
  ASSERT_EQ(file.problems.size(), 0u) << file.problems[0].line << ": " << file.problems[0].what;
  ASSERT_EQ(file.holders.size(), 2u);
  const Cardholder& first = file.holders[0];
  EXPECT_EQ(first.card, 0x0012D687u);
  EXPECT_EQ(first.staff, "1024");
  EXPECT_EQ(first.name, "张三李四");  // 8 bytes in GBK: it fits
  EXPECT_EQ(first.where, (std::vector<std::string>{"gates", "canteen"}));
  EXPECT_EQ(first.valid_from, std::nullopt);
  EXPECT_EQ(first.valid_until, ParseDay("2026-12-31"));
  EXPECT_EQ(file.holders[1].name, "Li, \"A\"");
  EXPECT_EQ(file.holders[1].where, (std::vector<std::string>{"*"}));
}

TEST(HolderCsvTest, TellsEveryBadLine) {
  const std::string header = "card,staff,name,terminals,valid_from,valid_until\n";
  struct Case {
    std::string text;
    std::vector<std::string> problems;
  };
  const Case cases[] = {
      {"card,staff,name\n1,1,A\n", {"1: no column 'terminals'"}},
      {"card,staff,name,terminals,valid_to\n", {"1: unknown column 'valid_to'"}},
      {"", {"1: no header row (card,staff,name,terminals,...)"}},
      {header + "1,1,A,gates,,\n2,1,\"B\nC\",gates,,\n3,1,A\"x,gates,,\n",
       {"5: not CSV: a quote inside a field that does not start with one"}},
      {header + "12x,1,A,gates,,\n12a,1,B,gates,,\n",
       {"2: card \"12x\" is not a card number: write decimal digits, or hexadecimal as 0x0012D687",
        "3: card \"12a\" is not a card number: write decimal digits, or hexadecimal as 0x0012D687"}},
      {header + "1,1,A,gates,,\n2,1,B,gates\n", {"3: 4 fields where the header has 6"}},
      {header + "1,1,A,gates,,\n0x1,1,B,gates,,\n", {"3: card 1 is on line 2 with another holder"}},
      {header + "1,1,A,nowhere,,\n", {"2: unknown terminal or group 'nowhere'"}},
      {header + "1,,A,gates,,\n2,123456789,A,gates,,\n3,12a,A,gates,,\n",
       {"2: no staff number", "3: staff number \"123456789\" is not up to 8 decimal digits",
        "4: staff number \"12a\" is not up to 8 decimal digits"}},
      {header + "1,1,张三李四王,gates,,\n",
       {"2: name \"张三李四王\" takes 10 bytes in GBK, more than the terminal's 8"}},
      {header + "1,1,😀,gates,,\n", {"2: name \"😀\" has a character that GBK lacks"}},
      {header + "1,1,A,gates,2026-02-30,\n",
       {"2: valid_from \"2026-02-30\" is not a date as YYYY-MM-DD"}},
      {header + "1,1,A,gates,2026-02-02,2026-02-01\n",
       {"2: valid_until 2026-02-01 is before valid_from 2026-02-02"}},
      {header + "1,1,A,,,\n", {"2: no terminals: name terminals or groups, or *"}},
      {header + "1,1,\"Ann\nLee\",gates,,\n2,1,A\tB,gates,,\n3,\"1\r\",C,gates,,\n" +
           "4,1,D\0,gates,,\n5,1,E\xC2\x85,gates,,\n"s,
       {"2: name \"Ann\\u000aLee\" has a control character (U+000A)",
        "4: name \"A\\u0009B\" has a control character (U+0009)",
        "5: staff number \"1\\u000d\" has a control character (U+000D)",
        "6: name \"D\\u0000\" has a control character (U+0000)",
        "7: name \"E\\u0085\" has a control character (U+0085)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Problems(c.text), c.problems) << c.text;
}

}  // namespace
}  // namespace tallygate::collector
