// Writes "rm.txt": the Big5-to-GB entries, then the GB-to-Big5 entries, one
// a line as four upper-case hexadecimal digits and CR LF, the line end of the
// library's other text files.
#ifndef TALLYGATE_TOOLS_TABLES_TABLE_FILE_H_
#define TALLYGATE_TOOLS_TABLES_TABLE_FILE_H_

#include <filesystem>
#include <vector>

#include "tools/tables/table_layout.h"

namespace tallygate::tables {

// The file is replaced whole (tallygate/whole_file.h), so a failed run never
// leaves a truncated table for the build to install. Throws
// std::system_error, naming the file and the reason, on any file error.
void WriteCodeTables(const std::filesystem::path& path, const std::vector<DoubleByte>& big5_to_gb,
                     const std::vector<DoubleByte>& gb_to_big5);

}  // namespace tallygate::tables

#endif  // TALLYGATE_TOOLS_TABLES_TABLE_FILE_H_
