#include "tools/tables/table_file.h"

#include <cstdio>
#include <string>

#include "tallygate/whole_file.h"

namespace tallygate::tables {
namespace {

void AppendEntries(std::string& text, const std::vector<DoubleByte>& entries) {
  for (const DoubleByte& entry : entries) {
    char line[8];
    std::snprintf(line, sizeof line, "%02X%02X\r\n", entry.lead, entry.trail);
    text += line;
  }
}

}  // namespace

void WriteCodeTables(const std::filesystem::path& path, const std::vector<DoubleByte>& big5_to_gb,
                     const std::vector<DoubleByte>& gb_to_big5) {
  std::string text;
  AppendEntries(text, big5_to_gb);
  AppendEntries(text, gb_to_big5);
  WriteWholeFile(path, text);
}

}  // namespace tallygate::tables
