// One [[terminal]] table read into a TerminalConfig, with the places of the
// values that checks across terminals point at.
#ifndef TALLYGATE_COLLECTOR_CONFIG_TERMINAL_ENTRY_H_
#define TALLYGATE_COLLECTOR_CONFIG_TERMINAL_ENTRY_H_

#include <toml++/toml.h>

#include <chrono>
#include <string>

#include "collector/config/config.h"

namespace tallygate::collector {

struct TerminalEntry {
  TerminalConfig config;
  toml::source_region name_at;
  toml::source_region endpoint_at;  // of tcp or serial
  toml::source_region address_at;   // the table's when address is absent
  toml::source_region groups_at;    // likewise
};

// What a terminal takes when it does not say.
struct TerminalDefaults {
  std::chrono::seconds poll_interval;
  std::string time_zone;
};

TerminalEntry ReadTerminal(const toml::table& table, const TerminalDefaults& defaults,
                           const std::string& source);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_TERMINAL_ENTRY_H_
