#include "fuzz/synthetic_tables.h"

#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "tallygate/code_tables.h"

namespace tallygate::fuzz {
namespace {

constexpr int kDamagedEvery = 97;

std::string Entry(int lead, int trail) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", lead & 0xFF, trail & 0xFF);
  return text;
}

}  // namespace

std::string SyntheticRmTxt() {
  std::string text;
  text.reserve(static_cast<size_t>(kCodeTableLines) * 6);
  // Big5 position to a GB2312 code.
  for (int i = 0; i < kBig5ToGbEntries; ++i) {
    text += i % kDamagedEvery == 0 ? "zz" : Entry(0xA1 + (i / 94) % 87, 0xA1 + i % 94);
    text += "\r\n";
  }
  // GB2312 position to a Big5 code.
  for (int i = 0; i < kGbToBig5Entries; ++i) {
    const int column = i % 157;
    const int trail = column < 63 ? 0x40 + column : 0x62 + column;
    text += i % kDamagedEvery == 0 ? "zz" : Entry(0xA1 + (i / 157) % 94, trail);
    text += "\r\n";
  }
  return text;
}

void LoadSyntheticTables() {
  const std::string text = SyntheticRmTxt();
  LoadCodeTables(WriteScratchFile("synthetic-rm.txt", reinterpret_cast<const uint8_t*>(text.data()),
                                  text.size()));
}

}  // namespace tallygate::fuzz
