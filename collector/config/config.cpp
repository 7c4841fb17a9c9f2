#include "collector/config/config.h"

#include <toml++/toml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <tuple>

#include "collector/base/time_zone.h"
#include "collector/config/clock_text.h"
#include "collector/config/database_text.h"
#include "collector/config/deliver_entry.h"
#include "collector/config/holder_source_entry.h"
#include "collector/config/fleet_check.h"
#include "collector/config/host_port.h"
#include "collector/config/http_access.h"
#include "collector/config/table_reader.h"
#include "collector/config/terminal_entry.h"

namespace tallygate::collector {

namespace {

std::string CheckDatabase(const std::string& text) {
  CheckDatabaseText(text);
  return text;
}

std::string CheckListen(const std::string& text) {
  ParseHostPort(text, std::nullopt);
  return text;
}

HttpConfig ReadHttp(const toml::node& node, const TableReader& top, const std::string& source) {
  if (!node.is_table()) top.Fail("http", "http must be a table ([http]), not a value");
  const toml::table& table = *node.as_table();
  const TableReader reader(table, "[http]",
                           {"listen", "token_file", "admin_token_file", "tls_cert_file", "tls_key_file"},
                           source);
  HttpConfig http;
  const std::optional<std::string> listen = reader.Parsed("listen", CheckListen);
  if (!listen) reader.FailTable("[http] has no listen = \"HOST:PORT\"");
  http.listen = *listen;
  for (const auto& [key, file, what] :
       {std::tuple{"token_file", &http.token_file, "the token"},
        std::tuple{"admin_token_file", &http.admin_token_file, "the admin tokens"},
        std::tuple{"tls_cert_file", &http.tls_cert_file, "the certificate"},
        std::tuple{"tls_key_file", &http.tls_key_file, "the certificate's key"}}) {
    *file = reader.String(key).value_or("");
    if (reader.Find(key) != nullptr && file->empty()) {
      reader.Fail(key, std::string(key) + " is empty: name the file that holds " + what);
    }
  }
  if (http.tls_cert_file.empty() != http.tls_key_file.empty()) {
    const char* given = http.tls_cert_file.empty() ? "tls_key_file" : "tls_cert_file";
    reader.Fail(given, "HTTPS needs both tls_cert_file and tls_key_file");
  }
  if (const std::string problem = HttpAccessProblem(http); !problem.empty()) {
    reader.Fail("listen", problem);
  }
  return http;
}

void ReadTerminals(const toml::node& node, const TableReader& top,
                   const TerminalDefaults& defaults, const std::string& source,
                   CollectorConfig& config) {
  const toml::array* array = node.as_array();
  if (array == nullptr) {
    top.Fail("terminal", "terminal must be an array of tables, each written [[terminal]]");
  }
  std::vector<TerminalEntry> entries;
  for (const toml::node& element : *array) {
    if (!element.is_table()) {
      FailAt(source, element.source(), "each terminal must be a table ([[terminal]])");
    }
    entries.push_back(ReadTerminal(*element.as_table(), defaults, source));
  }
  config.warnings = CheckFleet(entries, source);
  for (TerminalEntry& entry : entries) config.terminals.push_back(std::move(entry.config));
}

}  // namespace

CollectorConfig ParseConfig(std::string_view text, const std::string& source) {
  toml::table root;
  try {
    root = toml::parse(text, std::string(source));
  } catch (const toml::parse_error& error) {
    FailAt(source, error.source(), std::string(error.description()));
  }
  const TableReader top(root, "the top level",
                        {"database", "poll_interval", "tcp_parallel", "hold_line_below", "busy_limit",
                         "day_starts", "terminal", "http", "deliver", "holders_from"},
                        source);
  CollectorConfig config;
  config.source = source;
  config.database = top.Parsed("database", CheckDatabase).value_or("");
  config.poll_interval =
      top.Duration("poll_interval", std::chrono::seconds(1)).value_or(config.poll_interval);
  config.tcp_parallel =
      static_cast<int>(top.Integer("tcp_parallel", 1, 1024).value_or(config.tcp_parallel));
  config.hold_line_below =
      top.Duration("hold_line_below", std::chrono::seconds(0)).value_or(config.hold_line_below);
  config.busy_limit =
      top.Duration("busy_limit", std::chrono::seconds(0)).value_or(config.busy_limit);
  config.day_starts = top.Parsed("day_starts", ParseClockText).value_or(config.day_starts);
  if (const toml::node* terminals = top.Find("terminal")) {
    ReadTerminals(*terminals, top, {config.poll_interval, HostTimeZone()}, source, config);
  }
  for (TerminalConfig& terminal : config.terminals) terminal.busy_limit = config.busy_limit;
  if (const toml::node* http = top.Find("http")) config.http = ReadHttp(*http, top, source);
  if (const toml::node* deliver = top.Find("deliver")) {
    config.deliveries = ReadDeliveries(*deliver, top, source);
  }
  if (const toml::node* holders = top.Find("holders_from")) {
    config.holder_sources = ReadHolderSources(*holders, top, source, config.terminals);
  }
  return config;
}

CollectorConfig LoadConfig(const std::filesystem::path& file) {
  if (std::error_code error; std::filesystem::is_directory(file, error)) {
    throw ConfigError(file.string() + ": a folder, not a configuration file");
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    throw ConfigError(file.string() + ": cannot read: " + std::strerror(errno));
  }
  CollectorConfig config = ParseConfig(text.str(), file.string());
  config.source = file;
  return config;
}

}  // namespace tallygate::collector
