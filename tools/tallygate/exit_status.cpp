#include "tools/tallygate/exit_status.h"

#include <strings.h>

#include <string>

namespace tallygate::cli {

const char* const kExitStatusText =
    "Exit status:\n"
    "  0  the call ran and the member returned its success result\n"
    "  1  the port or connection could not be opened, the member returned its\n"
    "     failure result (false; -1 from GetStorageModel, CheckData,\n"
    "     GetMachinePassword), or the call raised an error\n"
    "  2  usage error, an argument its parameter cannot take, no registered library\n"
    "  3  collect: a partial collection\n"
    "A script exits with the worst status of its lines.\n";

bool IsFailureResult(std::string_view name, const Variant& result) {
  if (result.kind() == TG_BOOL) return !result.boolean();
  if (result.kind() != TG_I2 || result.i2() != -1) return false;
  const std::string member(name);
  for (const char* minus_one_fails : {"GetStorageModel", "CheckData", "GetMachinePassword"}) {
    if (strcasecmp(member.c_str(), minus_one_fails) == 0) return true;
  }
  return false;
}

}  // namespace tallygate::cli
