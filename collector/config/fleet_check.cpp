#include "collector/config/fleet_check.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

#include "collector/config/host_port.h"
#include "collector/config/serial_device_text.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

namespace {

// One text per host: names in lower case, addresses in their shortest form
// ("::0:1" is "::1").
std::string HostKey(std::string host) {
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  unsigned char bytes[16];
  char text[INET6_ADDRSTRLEN];
  for (const int family : {AF_INET, AF_INET6}) {
    if (inet_pton(family, host.c_str(), bytes) == 1 &&
        inet_ntop(family, bytes, text, sizeof text) != nullptr) {
      return text;
    }
  }
  return host;
}

std::string EndpointKey(const TerminalConfig& terminal) {
  if (const auto* tcp = std::get_if<TcpEndpoint>(&terminal.endpoint)) {
    return "tcp://" + HostPortText(HostKey(tcp->host), tcp->port);
  }
  return BusKey(std::get<SerialEndpoint>(terminal.endpoint).device);
}

std::string Called(const TerminalConfig& terminal) {
  return "terminal '" + terminal.name + "' (line " + std::to_string(terminal.line) + ")";
}

}  // namespace

void CheckFleet(const std::vector<TerminalEntry>& entries, const std::string& source) {
  std::map<std::string, const TerminalConfig*> names;
  std::map<std::string, const TerminalConfig*> buses;
  std::map<std::pair<std::string, int>, const TerminalConfig*> stations;
  for (const TerminalEntry& entry : entries) {
    const TerminalConfig& terminal = entry.config;
    if (const auto [it, added] = names.emplace(terminal.name, &terminal); !added) {
      FailAt(source, entry.name_at, "the name '" + terminal.name + "' is already used by " +
                                        Called(*it->second));
    }
    const std::string key = EndpointKey(terminal);
    if (terminal.serial()) {
      const auto [it, added] = buses.emplace(key, &terminal);
      if (!added && it->second->EndpointText() != terminal.EndpointText()) {
        FailAt(source, entry.endpoint_at,
               "serial '" + terminal.EndpointText() + "' is the bus that " + Called(*it->second) +
                   " writes '" + it->second->EndpointText() + "': write each bus one way");
      }
    }
    if (const auto [it, added] = stations.emplace(std::pair(key, terminal.address), &terminal);
        !added) {
      const std::string address = "address " + std::to_string(terminal.address);
      FailAt(source, entry.address_at,
             terminal.serial()
                 ? address + " on bus '" + terminal.EndpointText() + "' is already used by " +
                       Called(*it->second) + ": one bus, one address each"
                 : terminal.EndpointText() + " " + address + " is configured twice: " +
                       Called(*it->second) + " and '" + terminal.name + "'");
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
}

}  // namespace tallygate::collector
