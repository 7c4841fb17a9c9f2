// `tallygate-collector holders plan NAME`: what the next read of the
// [[holders_from]] NAME would change, read from the HR system now; nothing
// is changed or kept.
// `tallygate-collector holders confirm NAME`: reads it now and makes it,
// with the revocations last held for an admin (only when the read revokes
// exactly those; otherwise the new list is held in their place).
#ifndef TALLYGATE_COLLECTOR_APP_HOLDERS_COMMAND_H_
#define TALLYGATE_COLLECTOR_APP_HOLDERS_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "collector/base/source_read.h"
#include "collector/config/config.h"

namespace tallygate::collector {

struct HoldersOptions {
  std::string source;
};

// Adds `holders` to `app`, its values going to `options`.
CLI::App* AddHoldersCommands(CLI::App& app, HoldersOptions& options);

// Runs it on the store the configuration names. Returns the exit status: 0
// done (plan: the read would be made), 2 an unknown source, nothing held to
// confirm, or a read that failed, was refused or is held; throws
// StoreError.
int RunHolders(const CLI::App& holders, const HoldersOptions& options,
               const CollectorConfig& config);

// The sources' last reads as `status` shows them; empty without any.
std::string SourceTable(const std::vector<SourceRead>& reads);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_HOLDERS_COMMAND_H_
