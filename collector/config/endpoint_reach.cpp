#include "collector/config/endpoint_reach.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <optional>

#include "collector/config/host_port.h"

namespace tallygate::collector {

namespace {

// Lookups under way at once: a resolver that does not answer costs its
// timeout once for each batch, not once for each name.
constexpr size_t kLookupsAtOnce = 32;

// An address in one text per address (the shortest IPv6 form, an
// IPv4-mapped IPv6 address as IPv4, a zone kept); nothing for a name.
std::optional<std::string> AddressText(const std::string& host) {
  const std::size_t percent = host.find('%');
  const std::string address = host.substr(0, percent);
  const std::string zone = percent == std::string::npos ? "" : host.substr(percent);
  in_addr v4{};
  in6_addr v6{};
  char text[INET6_ADDRSTRLEN] = {};
  if (zone.empty() && inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    return inet_ntop(AF_INET, &v4, text, sizeof text);
  }
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return std::nullopt;
  if (IN6_IS_ADDR_V4MAPPED(&v6) && zone.empty()) {
    std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);
    return inet_ntop(AF_INET, &v4, text, sizeof text);
  }
  return inet_ntop(AF_INET6, &v6, text, sizeof text) + zone;
}

// Names in lower case (the resolver's own rule), addresses in one form.
std::string HostKey(const std::string& host) {
  if (std::optional<std::string> address = AddressText(host)) return *address;
  std::string name = host;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

struct Lookup {
  std::vector<std::string> addresses;
  std::string error;
};

Lookup LookUp(const std::string& name) {
  Result<std::vector<std::string>> found = ResolveHost(name);
  if (!found) return {{}, found.error().message()};
  Lookup lookup;
  for (const std::string& address : *found) {
    std::string text = AddressText(address).value_or(address);
    if (std::find(lookup.addresses.begin(), lookup.addresses.end(), text) ==
        lookup.addresses.end()) {
      lookup.addresses.push_back(std::move(text));
    }
  }
  return lookup;
}

// Every host name among the entries, looked up kLookupsAtOnce at a time.
std::map<std::string, Lookup> LookUpNames(const std::vector<TerminalEntry>& entries) {
  std::vector<std::string> names;
  for (const TerminalEntry& entry : entries) {
    const auto* tcp = std::get_if<TcpEndpoint>(&entry.config.endpoint);
    if (tcp == nullptr || AddressText(tcp->host)) continue;
    const std::string name = HostKey(tcp->host);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  std::map<std::string, Lookup> found;
  for (size_t first = 0; first < names.size(); first += kLookupsAtOnce) {
    std::vector<std::future<Lookup>> batch;
    const size_t end = std::min(names.size(), first + kLookupsAtOnce);
    for (size_t i = first; i < end; ++i) {
      batch.push_back(std::async(std::launch::async, LookUp, names[i]));
    }
    for (size_t i = first; i < end; ++i) found[names[i]] = batch[i - first].get();
  }
  return found;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return joined;
}

Reach TcpReach(const TcpEndpoint& tcp, const std::map<std::string, Lookup>& names) {
  const std::string host = HostKey(tcp.host);
  Reach reach;
  reach.written = "tcp://" + HostPortText(host, tcp.port);
  std::vector<std::string> addresses = {host};
  if (const auto it = names.find(host); it != names.end()) {
    if (it->second.error.empty()) {
      addresses = it->second.addresses;
      reach.resolved = Joined(addresses);
    } else {
      reach.unresolved = it->second.error;
    }
  }
  for (const std::string& address : addresses) {
    const std::string place = HostPortText(address, tcp.port);
    reach.places.push_back({place, place});
  }
  return reach;
}

// A device by its numbers, so that two nodes of one device are one; another
// file that exists by its inode; one that does not by its path, links
// followed as far as they go.
Reach SerialReach(const SerialEndpoint& serial) {
  const std::filesystem::path file = SerialDeviceFile(serial);
  std::error_code error;
  std::filesystem::path real = std::filesystem::weakly_canonical(file, error);
  if (error) real = file.lexically_normal();
  Reach reach;
  reach.written = serial.device;
  reach.resolved = real.string();
  struct stat status{};
  std::string key = "path " + real.string();
  if (stat(file.c_str(), &status) == 0) {
    key = S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)
              ? "device " + std::to_string(major(status.st_rdev)) + ":" +
                    std::to_string(minor(status.st_rdev))
              : "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }
  reach.places.push_back({key, real.string()});
  return reach;
}

}  // namespace

std::vector<Reach> ReachOf(const std::vector<TerminalEntry>& entries) {
  const std::map<std::string, Lookup> names = LookUpNames(entries);
  std::vector<Reach> reaches;
  for (const TerminalEntry& entry : entries) {
    const Endpoint& endpoint = entry.config.endpoint;
    reaches.push_back(std::holds_alternative<TcpEndpoint>(endpoint)
                          ? TcpReach(std::get<TcpEndpoint>(endpoint), names)
                          : SerialReach(std::get<SerialEndpoint>(endpoint)));
  }
  return reaches;
}

}  // namespace tallygate::collector
