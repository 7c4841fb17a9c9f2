// "rm.txt", the Big5/GB2312 code tables read at object creation on a
// Traditional-Chinese system, and the mapping of names through whatever
// tables it gave.
//
// Input: the file. Its first bytes also serve as a name to map both ways.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "fuzz/fuzz_support.h"
#include "link/connect/collected_lines.h"
#include "link/text/char_map.h"
#include "tallygate/code_tables.h"
#include "tallygate/basic_error.h"

namespace {

using tallygate::CodeTable;
using tallygate::fuzz::Require;

void CheckEntries(const tallygate::CodeTables& tables, CodeTable table) {
  const int size = tables.Size(table);
  for (int i = 0; i < size; i += std::max(1, size / 64)) {
    Require(tables.Code(table, i) == tallygate::EntryCode(tables.Text(table, i)),
            "an entry's code is the code of its text");
  }
  try {
    tables.Code(table, size);
    Require(false, "an entry past the file is refused");
  } catch (const tallygate::BasicError&) {
  }
}

void MapName(std::span<const uint8_t> bytes) {
  std::array<uint8_t, 8> name{};
  std::copy_n(bytes.begin(), std::min(bytes.size(), name.size()), name.begin());
  tallygate::CardName(name, 2);
  try {
    tallygate::MapGbBytesToBig5(bytes.first(std::min<size_t>(bytes.size(), 16)));
  } catch (const tallygate::BasicError&) {
  }
  try {
    tallygate::MapBig5BytesToGb(bytes.first(std::min<size_t>(bytes.size(), 16)));
  } catch (const tallygate::BasicError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path file = tallygate::fuzz::WriteScratchFile("rm.txt", data, size);
  try {
    tallygate::LoadCodeTables(file);
  } catch (const tallygate::BasicError&) {
    return 0;
  }
  const std::shared_ptr<const tallygate::CodeTables> tables = tallygate::CurrentCodeTables();
  const int big5_to_gb = tables->Size(CodeTable::Big5ToGb);
  const int gb_to_big5 = tables->Size(CodeTable::GbToBig5);
  Require(big5_to_gb + gb_to_big5 <= tallygate::kCodeTableLines, "no more entries than lines");
  Require(gb_to_big5 == 0 || big5_to_gb == tallygate::kBig5ToGbEntries,
          "the second table starts after the first is full");
  CheckEntries(*tables, CodeTable::Big5ToGb);
  CheckEntries(*tables, CodeTable::GbToBig5);
  MapName(std::span<const uint8_t>(data, size));
  return 0;
}
