#include "tools/tables/table_file.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace tallygate::tables {
namespace {

void WriteEntries(std::ofstream& out, const std::vector<DoubleByte>& entries) {
  for (const DoubleByte& entry : entries) {
    char line[8];
    std::snprintf(line, sizeof line, "%02X%02X\r\n", entry.lead, entry.trail);
    out << line;
  }
}

}  // namespace

void WriteCodeTables(const std::filesystem::path& path, const std::vector<DoubleByte>& big5_to_gb,
                     const std::vector<DoubleByte>& gb_to_big5) {
  std::filesystem::path partial = path;
  partial += ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + partial.string());
    WriteEntries(out, big5_to_gb);
    WriteEntries(out, gb_to_big5);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + partial.string());
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  if (error) {
    std::filesystem::remove(partial, error);
    throw std::runtime_error("cannot rename " + partial.string() + " to " + path.string());
  }
}

}  // namespace tallygate::tables
