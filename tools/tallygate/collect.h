// tallygate collect: unattended collections of a terminal's attendance
// records (GatherData) and card list (GatherSendCardData) into a folder,
// under the file names the operator's program uses (collect_options.h has
// the command line).
//
// Standard output gets one JSON line per collection made, the call's line
// (json_output.h) with the written file added:
//   {"call": "GatherData", "result": true, "byref": ["", 300], "file": "/d/DataRecordSet_original.txt"}
// ("file" is null when no line was written). Standard error gets the
// description of a partial or failed collection and the records' progress.
//
// With --format csv or jsonl the call writes its text file, with a
// hexadecimal card and a four-digit year, into a temporary folder inside
// the target folder; the file is read back (collected_tables.h) and the
// table written whole as DataRecordSet_original.csv/.jsonl or
// NameList.csv/.jsonl (table_text.h). The temporary folder goes afterwards.
#ifndef TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_
#define TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_

#include <cstdio>
#include <string>

#include "tallygate/dispatch_ref.h"
#include "tools/tallygate/collect_options.h"
#include "tools/tallygate/progress_view.h"

namespace tallygate::cli {

inline constexpr const char* kRecordFileName = "DataRecordSet_original.txt";
inline constexpr const char* kCardFileName = "NameList.txt";

// Exit statuses of a collection.
inline constexpr int kCollectComplete = 0;
inline constexpr int kCollectFailed = 1;  // false, the call raised an error, or no file written
inline constexpr int kCollectUsage = 2;   // also: the object could not be made
inline constexpr int kCollectPartial = 3; // true, with entries missing

// The exit status for what the call returned.
int CollectStatus(bool result, const std::string& description);
// The status of two collections: failed before partial before complete.
int WorseCollectStatus(int a, int b);

// Makes the collections `options` ask for on `object`, which is connected
// already: the records, then the card list. Writes a JSON line for each to
// `out` and the description of a partial or failed one to `err`.
// `progress`, when given, is fed by GatherData (card lists have no
// progress) and finished after it. Returns the exit status.
int RunCollect(const DispatchRef& object, const CollectOptions& options, std::FILE* out,
               std::FILE* err, ProgressView* progress);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_COLLECT_H_
