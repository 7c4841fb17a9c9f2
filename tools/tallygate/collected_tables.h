// The collected files read back as tables, for the csv and jsonl formats of
// tallygate collect. The lines are those GatherData writes with a
// hexadecimal card and a four-digit year, and those GatherSendCardData
// writes with a hexadecimal card; each is read with the library's own line
// readers (tallygate/record_line.h). A line's number in the file is its
// position on the terminal; empty lines (positions from which nothing came)
// have no row.
//
// records: terminal, position, card_hex, card, date, time, flag, keep
//   date YYYY-MM-DD and time hh:mm:ss, both null when the line's date or
//   time is not one; flag and keep hexadecimal. The line writes the two
//   bytes without padding, one after the other: three digits are read as a
//   flag of one digit and a keep byte of two ("199": 1 and 99), so a flag
//   above F followed by a keep byte below 10 reads wrongly.
// cards: position, card_hex, card, staff, name
//   the name without the NULs and spaces that pad it.
// card is the signed 32-bit value, as --decimal-card writes it (call_arguments.h).
#ifndef TALLYGATE_TOOLS_TALLYGATE_COLLECTED_TABLES_H_
#define TALLYGATE_TOOLS_TALLYGATE_COLLECTED_TABLES_H_

#include <filesystem>
#include <string>
#include <vector>

#include "tools/tallygate/json_output.h"

namespace tallygate::cli {

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<Json>> rows;  // a number, a text or null per column
};

// The lines of a collected file (each ended by CR LF). Throws
// std::system_error when it cannot be read.
std::vector<std::string> ReadCollectedLines(const std::filesystem::path& file);

Table RecordTable(const std::vector<std::string>& lines);
Table CardTable(const std::vector<std::string>& lines);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_COLLECTED_TABLES_H_
