#include "collector/config/host_port.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

#include "collector/base/failure.h"

namespace tallygate::collector {

namespace {

bool IsAddress(int family, std::string_view text) {
  unsigned char bytes[16];
  return inet_pton(family, std::string(text).c_str(), bytes) == 1;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_' || c == '.';
}

// A host name of letters, digits, '-', '_' and '.', or an IPv4 address: a
// name of digits and dots only must be a valid one ("10.0.0.256" is not).
void CheckHostName(std::string_view host) {
  if (host.empty()) throw InputError("no host name or address");
  if (!std::all_of(host.begin(), host.end(), IsNameCharacter)) {
    throw InputError("'" + std::string(host) +
                     "' is not a host name, an IPv4 address or an IPv6 address in "
                     "brackets");
  }
  const bool numeric = std::all_of(host.begin(), host.end(),
                                   [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
  if (numeric && !IsAddress(AF_INET, host)) {
    throw InputError("'" + std::string(host) + "' is not a valid IPv4 address");
  }
}

}  // namespace

bool IsIpv6Address(std::string_view text) {
  const std::size_t percent = text.find('%');
  if (percent != std::string_view::npos) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty() || !std::all_of(zone.begin(), zone.end(), IsNameCharacter)) return false;
  }
  return IsAddress(AF_INET6, text.substr(0, percent));
}

uint16_t ParsePort(std::string_view text) {
  unsigned number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 1 ||
      number > 65535) {
    throw InputError("port '" + std::string(text) + "' is not a number from 1 to 65535");
  }
  return static_cast<uint16_t>(number);
}

HostPort ParseHostPort(std::string_view text, std::optional<uint16_t> default_port) {
  HostPort result;
  std::string_view port;
  bool has_port = false;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) throw InputError("'[' without ']'");
    result.host = std::string(text.substr(1, close - 1));
    if (!IsIpv6Address(result.host)) {
      throw InputError("'" + result.host + "' in brackets is not an IPv6 address");
    }
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') {
      throw InputError("after ']' comes ':PORT' or nothing");
    }
    has_port = !rest.empty();
    if (has_port) port = rest.substr(1);
  } else {
    const std::size_t colon = text.find(':');
    if (colon != text.rfind(':')) {
      throw InputError("an IPv6 address goes in brackets: \"[" + std::string(text) +
                       "]\", with the port after them: \"[V6]:PORT\"");
    }
    has_port = colon != std::string_view::npos;
    result.host = std::string(text.substr(0, colon));
    if (has_port) port = text.substr(colon + 1);
    CheckHostName(result.host);
  }
  if (has_port) {
    result.port = ParsePort(port);
  } else if (default_port) {
    result.port = *default_port;
  } else {
    throw InputError("no port: write \"HOST:PORT\"");
  }
  return result;
}

std::string HostPortText(const std::string& host, uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace tallygate::collector
