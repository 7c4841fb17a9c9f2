// The two-byte codes of the two tables in "rm.txt", in table-index order:
// entry i of a table belongs to element i of its list.
//
//   Big5  lead 0xA1..0xFE; trail 0x40..0x7E then 0xA1..0xFE (157 a row)
//   GB    lead 0xA1..0xF7; trail 0xA1..0xFE (94 a row)
#ifndef TALLYGATE_TOOLS_TABLES_TABLE_LAYOUT_H_
#define TALLYGATE_TOOLS_TABLES_TABLE_LAYOUT_H_

#include <cstdint>
#include <vector>

namespace tallygate::tables {

struct DoubleByte {
  uint8_t lead;
  uint8_t trail;
};

std::vector<DoubleByte> Big5TableCodes();  // 14758 codes
std::vector<DoubleByte> GbTableCodes();    // 8178 codes

}  // namespace tallygate::tables

#endif  // TALLYGATE_TOOLS_TABLES_TABLE_LAYOUT_H_
