// tallygate collect: one unattended collection of a terminal's attendance
// records (GatherData) or card list (GatherSendCardData, --cards) into a
// folder, under the file names the operator's program uses.
//
//   tallygate collect [--tcp HOST[:PORT] | --com N] --addr A [--dir DIR]
//                     [--decimal-card] [--full-year] [--cards] [--wait SECONDS]
//
// Standard output gets one JSON line, the call's line (json_output.h) with
// the collected file added:
//   {"call": "GatherData", "result": true, "byref": ["", 300], "file": "/d/DataRecordSet_original.txt"}
// ("file" is null when no line was written). Standard error gets the
// description of a partial or failed collection and, when it is a terminal,
// a progress bar for records.
#ifndef TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_
#define TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tallygate/dispatch_ref.h"
#include "tools/tallygate/progress_bar.h"
#include "tools/tallygate/session.h"

namespace tallygate::cli {

inline constexpr const char* kRecordFileName = "DataRecordSet_original.txt";
inline constexpr const char* kCardFileName = "NameList.txt";

// Exit statuses of a collection.
inline constexpr int kCollectComplete = 0;
inline constexpr int kCollectFailed = 1;  // false, or the call raised an error
inline constexpr int kCollectUsage = 2;   // also: the object could not be made
inline constexpr int kCollectPartial = 3; // true, with entries missing

struct CollectOptions {
  Connection connection;
  int16_t address = 0;      // 1 to 255
  std::string folder = "."; // an existing folder
  bool decimal_card = false;
  bool full_year = false;   // records only
  bool cards = false;
  int32_t wait_seconds = 3; // per unit: SleepDate
  bool help = false;
  bool trace = false;       // --trace given after the word collect
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

// The exit status for what the call returned.
int CollectStatus(bool result, const std::string& description);

// Makes the collection call on `object`, which is connected already; writes
// the JSON line to `out` and the description of a partial or failed
// collection to `err`. `progress`, when given, is fed by GatherData (cards
// have no progress). Returns the exit status.
int RunCollect(const DispatchRef& object, const CollectOptions& options, std::FILE* out,
               std::FILE* err, ProgressBar* progress);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_
