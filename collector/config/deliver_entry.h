// The [[deliver]] tables read into DeliverConfigs: the kind's keys only, a
// URL that is one, a secret that can be read, a folder that is there.
#ifndef TALLYGATE_COLLECTOR_CONFIG_DELIVER_ENTRY_H_
#define TALLYGATE_COLLECTOR_CONFIG_DELIVER_ENTRY_H_

#include <toml++/toml.h>

#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

std::vector<DeliverConfig> ReadDeliveries(const toml::node& node, const TableReader& top,
                                          const std::string& source);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_DELIVER_ENTRY_H_
