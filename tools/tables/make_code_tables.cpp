// Generates "rm.txt", the Big5 <-> GB2312 code tables the link library reads
// on a Traditional-Chinese system, from OpenCC's character conversions and
// iconv's CP950 and GB2312 code pages.
//
//   make_code_tables OUTPUT
//
// Prints how each table's codes were mapped. A code that cannot be mapped
// gets the target's full-width space: GB2312 A1A1, Big5 A140 (Big5's A1A1
// is a small brace and would put a wrong character into a name).
#include <array>
#include <exception>
#include <iostream>
#include <vector>

#include "tools/tables/character_mapper.h"
#include "tools/tables/table_file.h"
#include "tools/tables/table_layout.h"

namespace tallygate::tables {
namespace {

// OpenCC's standard forms first, then Taiwan's, which Big5 follows (為, 眾,
// 啟 rather than 爲, 衆, 啓). CP936 reads and writes a few GB2312 symbols as
// the Unicode points CP950 uses.
const MappingPlan kBig5ToGb{
    {"CP950"}, {"GB2312", "CP936"}, {"t2s.json", "tw2s.json"}, {0xA1, 0xA1}};
const MappingPlan kGbToBig5{
    {"GB2312", "CP936"}, {"CP950"}, {"s2t.json", "s2tw.json"}, {0xA1, 0x40}};

// Counts by Outcome, then the codes found through another vendor's mapping.
using Counts = std::array<int, kOutcomeCount + 1>;

std::vector<DoubleByte> BuildTable(const std::vector<DoubleByte>& sources, CharacterMapper& mapper,
                                   Counts& counts) {
  std::vector<DoubleByte> entries;
  entries.reserve(sources.size());
  for (const DoubleByte& source : sources) {
    const MappedCode mapped = mapper.Map(source);
    ++counts[static_cast<size_t>(mapped.outcome)];
    counts[kOutcomeCount] += mapped.other_vendor;
    entries.push_back(mapped.code);
  }
  return entries;
}

void PrintCounts(const char* table, const Counts& counts) {
  std::cout << table << ": " << counts[static_cast<size_t>(Outcome::kConverted)] << " converted, "
            << counts[static_cast<size_t>(Outcome::kSameCharacter)] << " same character, "
            << counts[static_cast<size_t>(Outcome::kOriginalKept)] << " original kept, "
            << counts[static_cast<size_t>(Outcome::kNoCounterpart)] << " no counterpart, "
            << counts[static_cast<size_t>(Outcome::kNoCharacter)] << " no character ("
            << counts[kOutcomeCount] << " through another vendor's mapping)\n";
}

int Run(const char* output) {
  Counts big5_counts{};
  Counts gb_counts{};
  CharacterMapper to_gb(kBig5ToGb);
  const std::vector<DoubleByte> big5_to_gb = BuildTable(Big5TableCodes(), to_gb, big5_counts);
  CharacterMapper to_big5(kGbToBig5);
  const std::vector<DoubleByte> gb_to_big5 = BuildTable(GbTableCodes(), to_big5, gb_counts);
  WriteCodeTables(output, big5_to_gb, gb_to_big5);
  PrintCounts("Big5 -> GB2312", big5_counts);
  PrintCounts("GB2312 -> Big5", gb_counts);
  return 0;
}

}  // namespace
}  // namespace tallygate::tables

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_code_tables OUTPUT\n";
    return 2;
  }
  try {
    return tallygate::tables::Run(argv[1]);
  } catch (const std::exception& error) {
    std::cerr << "make_code_tables: " << error.what() << '\n';
    return 1;
  }
}
