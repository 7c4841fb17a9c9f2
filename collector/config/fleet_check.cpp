#include "collector/config/fleet_check.h"

#include <map>
#include <utility>

#include "collector/config/endpoint_reach.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

namespace {

std::string Called(const TerminalConfig& terminal) {
  return "terminal '" + terminal.name + "' (line " + std::to_string(terminal.line) + ")";
}

// "'tcp://localhost:1001' (127.0.0.1, ::1)": as written, and what that is.
std::string Shown(const TerminalConfig& terminal, const Reach& reach) {
  const std::string written = "'" + terminal.EndpointText() + "'";
  return reach.resolved.empty() || reach.resolved == terminal.EndpointText()
             ? written
             : written + " (" + reach.resolved + ")";
}

// Two entries, written differently, that reach one terminal: its punches
// would be kept twice, under two names.
[[noreturn]] void FailSameTerminal(const std::string& source, const TerminalEntry& entry,
                                   const Reach& reach, const TerminalEntry& earlier,
                                   const Reach& earlier_reach, const Place& place) {
  FailAt(source, entry.endpoint_at,
         "'" + entry.config.name + "' and " + Called(earlier.config) +
             " are one terminal: " + Shown(entry.config, reach) + " and " +
             Shown(earlier.config, earlier_reach) + " both reach " + place.shown +
             ", address " + std::to_string(entry.config.address) +
             "; its punches would be stored twice, under both names: keep one entry");
}

}  // namespace

std::vector<std::string> CheckFleet(const std::vector<TerminalEntry>& entries,
                                    const std::string& source) {
  const std::vector<Reach> reaches = ReachOf(entries);
  std::map<std::string, const TerminalConfig*> names;
  std::map<std::string, const TerminalConfig*> buses;
  std::map<std::pair<std::string, int>, size_t> stations;
  std::vector<std::string> warnings;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TerminalEntry& entry = entries[i];
    const TerminalConfig& terminal = entry.config;
    const Reach& reach = reaches[i];
    if (const auto [it, added] = names.emplace(terminal.name, &terminal); !added) {
      FailAt(source, entry.name_at, "the name '" + terminal.name + "' is already used by " +
                                        Called(*it->second));
    }
    if (!reach.unresolved.empty()) {
      warnings.push_back(MessageAt(
          source, entry.endpoint_at,
          "terminal '" + terminal.name + "': " + reach.unresolved +
              ": compared with the others as written; it is looked up again at each connection"));
    }
    for (const Place& place : reach.places) {
      const auto [it, added] = stations.emplace(std::pair(place.key, terminal.address), i);
      if (added || it->second == i) continue;
      const TerminalEntry& earlier = entries[it->second];
      if (reaches[it->second].written != reach.written) {
        FailSameTerminal(source, entry, reach, earlier, reaches[it->second], place);
      }
      const std::string address = "address " + std::to_string(terminal.address);
      FailAt(source, entry.address_at,
             terminal.serial()
                 ? address + " on bus '" + terminal.EndpointText() + "' is already used by " +
                       Called(earlier.config) + ": one bus, one address each"
                 : reach.written + " " + address + " is configured twice: " +
                       Called(earlier.config) + " and '" + terminal.name + "'");
    }
    if (terminal.serial()) {
      const auto [it, added] = buses.emplace(reach.places.front().key, &terminal);
      if (!added && it->second->EndpointText() != terminal.EndpointText()) {
        FailAt(source, entry.endpoint_at,
               "serial '" + terminal.EndpointText() + "' is the bus that " + Called(*it->second) +
                   " writes '" + it->second->EndpointText() + "': write each bus one way");
      }
    }
  }
  for (const TerminalEntry& entry : entries) {
    for (const std::string& group : entry.config.groups) {
      if (const auto it = names.find(group); it != names.end()) {
        FailAt(source, entry.groups_at,
               "group '" + group + "' is the name of " + Called(*it->second) +
                   ": a cardholder's terminals could not tell them apart");
      }
    }
  }
  return warnings;
}

}  // namespace tallygate::collector
