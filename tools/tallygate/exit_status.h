// The exit statuses of tallygate, and which results count as failures.
//
//   0  the call ran and the member returned its success result
//   1  the port or connection could not be opened, the member returned its
//      failure result (false, or -1 where it documents that), or the call
//      raised an error
//   2  a usage error: an unknown option or member form, an argument its
//      parameter cannot take (nothing was sent), no registered library
//   3  collect only: a partial collection
// A script exits with the worst status of its lines.
#ifndef TALLYGATE_TOOLS_TALLYGATE_EXIT_STATUS_H_
#define TALLYGATE_TOOLS_TALLYGATE_EXIT_STATUS_H_

#include <string_view>

#include "tallygate/variant.h"

namespace tallygate::cli {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// The text of the table above, for --help.
extern const char* const kExitStatusText;

// True when `result` of member `name` is its failure result: false, or -1
// for the members whose -1 means failure (GetStorageModel, CheckData,
// GetMachinePassword).
bool IsFailureResult(std::string_view name, const Variant& result);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_EXIT_STATUS_H_
