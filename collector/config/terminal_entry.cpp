#include "collector/config/terminal_entry.h"

#include "collector/base/failure.h"
#include "collector/base/time_zone.h"
#include "collector/config/host_port.h"
#include "collector/config/serial_device_text.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

namespace {

constexpr uint16_t kDefaultTcpPort = 1001;
// A bus is slow (19200 bit/s) and shared by every terminal on it: verifying
// at every poll would take its time from the others. A TCP terminal is also
// confirmed at the first poll over each new connection (Fleet), which is
// when another program can have used it: one served a client at a time.
constexpr std::chrono::seconds kDefaultVerifyInterval{600};

std::string ResolveZone(const std::string& name) {
  if (std::optional<std::string> zone = KnownTimeZone(name)) return *zone;
  throw InputError("unknown time zone '" + name +
                   "' (an IANA name such as \"Asia/Shanghai\", as in "
                   "/usr/share/zoneinfo)");
}

// A cardholder's terminals are written "gates;canteen" or "*".
std::string CheckGroupName(const std::string& name) {
  if (name.find_first_not_of(" \t") == std::string::npos) {
    throw InputError("a group name is empty");
  }
  if (name.find(';') != std::string::npos) {
    throw InputError("group '" + name + "' holds ';', which separates names in a list");
  }
  if (name == "*") throw InputError("'*' means every terminal, and is no group");
  return name;
}

// Exactly one of tcp = "HOST[:PORT]" and serial = "DEVICE".
void ReadEndpoint(const TableReader& reader, const std::string& name, TerminalEntry& entry) {
  const bool tcp = reader.Find("tcp") != nullptr;
  const bool serial = reader.Find("serial") != nullptr;
  if (tcp && serial) {
    reader.Fail("serial", "terminal '" + name + "' has both tcp and serial: give one of them");
  }
  if (!tcp && !serial) {
    reader.FailTable("terminal '" + name +
                     "' has neither tcp = \"HOST[:PORT]\" nor serial = \"/dev/ttyUSB0\"");
  }
  if (tcp) {
    HostPort address = *reader.Parsed(
        "tcp", [](const std::string& text) { return ParseHostPort(text, kDefaultTcpPort); });
    entry.config.endpoint = TcpEndpoint{std::move(address.host), address.port};
  } else {
    entry.config.endpoint = SerialEndpoint{*reader.Parsed("serial", CheckSerialDevice)};
  }
  entry.endpoint_at = reader.Region(tcp ? "tcp" : "serial");
}

// Where cardholders name the terminal, what becomes of cards nobody asked
// for, and how many its list holds.
void ReadCardKeys(const TableReader& reader, TerminalEntry& entry) {
  TerminalConfig& terminal = entry.config;
  terminal.groups = reader.Strings("groups", CheckGroupName);
  entry.groups_at = reader.Region("groups");
  if (const std::optional<std::string> unknown = reader.String("unknown_cards")) {
    if (*unknown != "keep" && *unknown != "remove") {
      reader.Fail("unknown_cards",
                  "unknown_cards = \"" + *unknown + "\": give \"keep\" or \"remove\"");
    }
    terminal.remove_unknown_cards = *unknown == "remove";
  }
  terminal.card_capacity =
      static_cast<int32_t>(reader.Integer("card_capacity", 1, kMostCards).value_or(kMostCards));
}

}  // namespace

std::string TerminalConfig::EndpointText() const {
  if (const auto* tcp = std::get_if<TcpEndpoint>(&endpoint)) {
    return "tcp://" + HostPortText(tcp->host, tcp->port);
  }
  return std::get<SerialEndpoint>(endpoint).device;
}

TerminalEntry ReadTerminal(const toml::table& table, const TerminalDefaults& defaults,
                           const std::string& source) {
  const TableReader reader(table, "[[terminal]]",
                           {"name", "tcp", "serial", "address", "time_zone", "poll_interval",
                            "verify_interval", "clear_above", "set_clock", "card_list", "unit_wait_ms",
                            "groups", "unknown_cards", "card_capacity"},
                           source);
  TerminalEntry entry;
  TerminalConfig& terminal = entry.config;
  terminal.line = static_cast<int>(table.source().begin.line);

  const std::optional<std::string> name = reader.String("name");
  if (!name) reader.FailTable("[[terminal]] has no name");
  if (name->find_first_not_of(" \t") == std::string::npos) reader.Fail("name", "name is empty");
  terminal.name = *name;
  entry.name_at = reader.Region("name");
  ReadEndpoint(reader, *name, entry);

  terminal.address = static_cast<uint8_t>(reader.Integer("address", 1, 255).value_or(1));
  entry.address_at = reader.Region("address");
  terminal.time_zone = reader.Parsed("time_zone", ResolveZone).value_or(defaults.time_zone);
  terminal.poll_interval =
      reader.Duration("poll_interval", std::chrono::seconds(1)).value_or(defaults.poll_interval);
  terminal.verify_interval =
      reader.Duration("verify_interval", std::chrono::seconds(0)).value_or(kDefaultVerifyInterval);
  if (const std::optional<int64_t> clear_above = reader.Integer("clear_above", 1, 65535)) {
    terminal.clear_above = static_cast<int32_t>(*clear_above);
  }
  terminal.set_clock = reader.Boolean("set_clock").value_or(false);
  terminal.card_list = reader.Boolean("card_list").value_or(true);
  if (const std::optional<int64_t> wait = reader.Integer("unit_wait_ms", 50, 10000)) {
    terminal.unit_wait = std::chrono::milliseconds(*wait);
  }
  ReadCardKeys(reader, entry);
  return entry;
}

}  // namespace tallygate::collector
