// A table (collected_tables.h) as the text of a file:
//
// csv   RFC 4180: a header line of the column names, then one line per row,
//       each line ended by CR LF; a field holding a comma, a double quote,
//       CR or LF is quoted, its quotes doubled. Numbers in decimal, null as
//       an empty field, text as it is (UTF-8).
// jsonl one JSON object per row, keyed by the column names in their order,
//       each on a line of its own ended by LF (json_output.h).
#ifndef TALLYGATE_TOOLS_TALLYGATE_TABLE_TEXT_H_
#define TALLYGATE_TOOLS_TALLYGATE_TABLE_TEXT_H_

#include <string>

#include "tools/tallygate/collected_tables.h"

namespace tallygate::cli {

std::string CsvText(const Table& table);
std::string JsonlText(const Table& table);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_TABLE_TEXT_H_
