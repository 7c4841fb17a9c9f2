// Checks across the [[terminal]] tables: each terminal once, each bus
// address once, no group named as a terminal.
#ifndef TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_
#define TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_

#include <string>
#include <vector>

#include "collector/config/terminal_entry.h"

namespace tallygate::collector {

// Refuses a name used twice, a bus written two ways ("COM3" and "3", or a
// /dev/serial/by-id link and the device it names, would be opened twice),
// two entries that reach one terminal (one bus and address, or one TCP
// address and port among those their hosts resolve to now, with one bus
// address: its punches would be kept twice, under two names), and a group
// named as a terminal (a cardholder's list of names could not tell them
// apart). Returns the warnings: host names that do not resolve now, which
// are compared as written (a terminal may be named before it is set up).
std::vector<std::string> CheckFleet(const std::vector<TerminalEntry>& entries,
                                    const std::string& source);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_
