// The command line of tallygate collect:
//
//   tallygate collect [--tcp HOST[:PORT] | --com N] --addr A [--dir DIR]
//                     [--format text|csv|jsonl] [--cards | --cards-only]
//                     [--decimal-card] [--full-year] [--wait SECONDS]
#ifndef TALLYGATE_TOOLS_TALLYGATE_COLLECT_OPTIONS_H_
#define TALLYGATE_TOOLS_TALLYGATE_COLLECT_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tallygate/session.h"

namespace tallygate::cli {

// What the collected entries are written as: the library's own text file,
// or that file read back into a csv or jsonl table (collected_tables.h).
enum class CollectFormat { kText, kCsv, kJsonl };

struct CollectOptions {
  Connection connection;
  int16_t address = 0;      // 1 to 255
  std::string folder = "."; // made when missing
  CollectFormat format = CollectFormat::kText;
  bool decimal_card = false; // text only
  bool full_year = false;    // text records only
  bool records = true;       // false with --cards-only
  bool cards = false;        // --cards or --cards-only: the card list, after the records
  int32_t wait_seconds = 3;  // per unit: SleepDate
  bool help = false;
  bool trace = false;        // --trace given after the word collect
};

// Reads the words after "collect". `connection` holds a --tcp or --com
// given before the word collect. Throws UsageError. A run without a
// terminal is refused by the caller (RequireTerminal).
CollectOptions ParseCollectOptions(const std::vector<std::string>& words, Connection connection);

// The usage text of the subcommand, and its options.
extern const char* const kCollectUsageText;
extern const char* const kCollectOptionsText;

// Throws UsageError when `options` name no terminal.
void RequireTerminal(const CollectOptions& options);

// Creates the collection's folder when it is missing; throws UsageError
// when it cannot.
void MakeFolder(const CollectOptions& options);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_COLLECT_OPTIONS_H_
