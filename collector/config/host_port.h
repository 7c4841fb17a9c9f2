// "HOST:PORT" as the configuration writes addresses on the network: a host
// name, an IPv4 address, or an IPv6 address in brackets ("[fe80::1]:1001").
#ifndef TALLYGATE_COLLECTOR_CONFIG_HOST_PORT_H_
#define TALLYGATE_COLLECTOR_CONFIG_HOST_PORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallygate::collector {

struct HostPort {
  std::string host;  // an IPv6 address without its brackets
  uint16_t port = 0;
};

// Reads "HOST:PORT", "[V6]:PORT", and "HOST" or "[V6]" alone when
// `default_port` is given. An IPv6 address must be in brackets: without
// them its last group could be taken for a port. Throws InputError saying
// what is wrong.
HostPort ParseHostPort(std::string_view text, std::optional<uint16_t> default_port);

// A port number from 1 to 65535, digits only; throws InputError.
uint16_t ParsePort(std::string_view text);

// True for an IPv6 address, with an optional "%zone", without brackets.
bool IsIpv6Address(std::string_view text);

// "HOST:PORT", with brackets around an IPv6 address.
std::string HostPortText(const std::string& host, uint16_t port);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_HOST_PORT_H_
