// The [[holders_from]] tables read into HolderSourceConfigs: the kind's
// site, the employee fields named as the HR system names them, the group
// mapping and its default, and how many revocations a read may make alone.
#ifndef TALLYGATE_COLLECTOR_CONFIG_HOLDER_SOURCE_ENTRY_H_
#define TALLYGATE_COLLECTOR_CONFIG_HOLDER_SOURCE_ENTRY_H_

#include <toml++/toml.h>

#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

// `terminals`, read before, are what the groups a source maps employees to
// must name.
std::vector<HolderSourceConfig> ReadHolderSources(const toml::node& node, const TableReader& top,
                                                  const std::string& source,
                                                  const std::vector<TerminalConfig>& terminals);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_HOLDER_SOURCE_ENTRY_H_
