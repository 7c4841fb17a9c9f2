// Checks across the [[terminal]] tables: each terminal once, each bus
// address once, no group named as a terminal.
#ifndef TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_
#define TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_

#include <string>
#include <vector>

#include "collector/config/terminal_entry.h"

namespace tallygate::collector {

// Refuses a name used twice, a bus written two ways ("COM3" and "3" would
// be opened twice), two terminals at one address of one bus, one TCP
// endpoint and address configured twice, and a group named as a terminal
// (a cardholder's list of names could not tell them apart).
void CheckFleet(const std::vector<TerminalEntry>& entries, const std::string& source);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_FLEET_CHECK_H_
