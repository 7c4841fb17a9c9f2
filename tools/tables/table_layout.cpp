#include "tools/tables/table_layout.h"

namespace tallygate::tables {
namespace {

void AddRow(std::vector<DoubleByte>& codes, int lead, int first_trail, int last_trail) {
  for (int trail = first_trail; trail <= last_trail; ++trail) {
    codes.push_back({static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)});
  }
}

}  // namespace

std::vector<DoubleByte> Big5TableCodes() {
  std::vector<DoubleByte> codes;
  for (int lead = 0xA1; lead <= 0xFE; ++lead) {
    AddRow(codes, lead, 0x40, 0x7E);
    AddRow(codes, lead, 0xA1, 0xFE);
  }
  return codes;
}

std::vector<DoubleByte> GbTableCodes() {
  std::vector<DoubleByte> codes;
  for (int lead = 0xA1; lead <= 0xF7; ++lead) AddRow(codes, lead, 0xA1, 0xFE);
  return codes;
}

}  // namespace tallygate::tables
