// The collector's configuration: a TOML file (collector.toml), read and
// checked as a whole before anything is polled.
//
//   database = "sqlite:/var/lib/tallygate/punches.db"   # or postgresql://...
//   poll_interval = 60          # seconds (an integer, or "90s", "5m", "1h")
//   tcp_parallel = 32           # TCP terminals polled at once
//   day_starts = "04:00"        # a timesheet's working day begins (default "00:00")
//
//   [[terminal]]
//   name = "gate-1"             # unique
//   tcp = "10.0.0.21:1001"      # HOST[:PORT]; or serial = "/dev/ttyUSB0" / "COM3"
//   address = 1                 # 1 to 255
//   time_zone = "Asia/Shanghai" # IANA; default: the host's
//   poll_interval = 30          # this terminal's own
//   verify_interval = "10m"     # default; over TCP also each new connection
//   clear_above = 30000         # off when absent
//   set_clock = true            # once a day, in the terminal's zone
//   card_list = true            # collect the card list (default true)
//   unit_wait_ms = 3000         # longest wait for each record of a page
//   groups = ["gates"]          # where cards are granted, beside its name
//   unknown_cards = "keep"      # or "remove": cards nobody asked for
//   card_capacity = 32767       # the cards its list holds
//
//   [[deliver]]                 # punches onward, each exactly once
//   name = "payroll"            # unique; names its position in the store
//   kind = "webhook"            # POSTs JSON batches (or "folder": files)
//   url = "https://hr.example/punches"
//   secret_file = "/etc/tallygate/payroll.secret"  # signs each request
//
//   [http]                      # the web dashboard, off when absent
//   listen = "127.0.0.1:8080"
//   token_file = "/etc/tallygate/token"
//   admin_token_file = "/etc/tallygate/admin-tokens"   # writes; read-only without
//
// Terminals on the same serial device are one bus; two entries that reach
// one terminal (one device or TCP address, one bus address) are refused,
// however they are written. Mistakes are reported as
// "FILE:LINE:COLUMN: what is wrong".
#ifndef TALLYGATE_COLLECTOR_CONFIG_CONFIG_H_
#define TALLYGATE_COLLECTOR_CONFIG_CONFIG_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tallygate/terminal.h"
#include "collector/base/failure.h"

namespace tallygate::collector {

inline constexpr const char* kDefaultConfigPath = "/etc/tallygate/collector.toml";

// The most entries a card list can hold and be read back: the count
// travels below 0x8000.
inline constexpr int32_t kMostCards = 0x7FFF;

struct TerminalConfig {
  std::string name;
  Endpoint endpoint;               // TcpEndpoint or SerialEndpoint
  uint8_t address = 1;
  std::string time_zone;           // IANA name, resolved (never empty)
  std::chrono::seconds poll_interval{60};
  // 0: every poll. Over TCP the last record is also confirmed at the first
  // poll over each new connection.
  std::chrono::seconds verify_interval{0};
  std::optional<int32_t> clear_above;
  bool set_clock = false;
  bool card_list = true;
  // The longest wait for each record of a page (3 s; less for terminals on
  // a fast network).
  std::chrono::milliseconds unit_wait{3000};
  // The collector's busy_limit (see CollectorConfig).
  std::chrono::seconds busy_limit{120};
  // The groups a cardholder's terminals may name instead of the terminal's
  // own name: neither empty nor holding ';', not "*", no terminal's name.
  std::vector<std::string> groups;
  // Cards on its list that no cardholder ever had (enrolled by hand at the
  // terminal) are reported; with true they are also taken off.
  bool remove_unknown_cards = false;
  // The most cards its list holds: more wanted there is refused when the
  // change is made.
  int32_t card_capacity = kMostCards;
  int line = 0;                    // of its [[terminal]] in the file

  bool serial() const { return std::holds_alternative<SerialEndpoint>(endpoint); }
  // "tcp://HOST:PORT" ("[::1]" for IPv6) or the device as written.
  std::string EndpointText() const;
};

struct HttpConfig {
  std::string listen;              // "HOST:PORT"; empty: off
  std::string token_file;          // empty: none
  // "NAME TOKEN" (or "TOKEN", named admin) a line: who may change things.
  std::string admin_token_file;    // empty: the dashboard and API only read
  // HTTPS: the certificate (with its chain) and its key, PEM; both empty:
  // plain HTTP.
  std::string tls_cert_file;
  std::string tls_key_file;
};

// Where punches are delivered onward (a sink), and how.
// How the collector reaches an HR system, for its sinks and its sources of
// cardholders: ERPNext / Frappe HR (a key and a secret) or Odoo (a key, a
// database, and the API: JSON-2 from Odoo 19, JSON-RPC before it, which
// logs in as `user` with the key as its password).
struct HrSite {
  std::string url;
  std::string ca_file;  // empty: the system's CA store
  std::chrono::seconds timeout{30};
  std::string api_key;     // read from api_key_file
  std::string api_secret;  // ERPNext: read from api_secret_file
  enum class Protocol { kJson2, kJsonRpc };
  std::string database;
  Protocol protocol = Protocol::kJson2;
  std::string user;
};

// What a sink into an HR system needs beside its site (docs/collector.md,
// "Punches into ERPNext / Frappe HR" and "Punches into Odoo").
struct HrDeliverConfig {
  HrSite site;
  // Which value of a punch names its employee in the HR system: the card
  // holder's staff number (from the card lists), or the card, in decimal or
  // as 8 hex digits.
  enum class Employee { kStaff, kCard, kCardHex };
  Employee employee = Employee::kStaff;
  std::string employee_field;  // the HR system's field it is matched against
  // ERPNext: the check-in's device (empty: the terminal's name); the record
  // flags that mean IN and OUT (both empty: no log type is sent); the Shift
  // Types whose last sync time follows the punches delivered.
  std::string device_id;
  std::vector<uint8_t> in_flags;
  std::vector<uint8_t> out_flags;
  std::vector<std::string> shift_types;
  bool flags_mapped() const { return !in_flags.empty() || !out_flags.empty(); }
};

struct DeliverConfig {
  enum class Kind { kWebhook, kFolder, kErpnext, kOdoo };
  std::string name;
  Kind kind = Kind::kWebhook;
  // A webhook: http:// or https:// URL; the CA bundle for its certificate
  // (empty: the system's); the signing secret, read from secret_file
  // (empty: unsigned). An HR sink's URL and the rest are in hr.site.
  std::string url;
  std::string ca_file;
  std::string secret_file;
  std::string secret;
  std::chrono::seconds timeout{30};  // of each request, whole
  int batch = 100;                   // punches per request at most
  // A folder: files written into `path`, one per period of `every` (which
  // divides a day), CSV or JSON lines.
  std::filesystem::path path;
  bool json_lines = false;
  std::chrono::seconds every{3600};
  // A sink new to the store starts at its first punch; with false, at the
  // punches stored after it was made.
  bool from_first = true;
  HrDeliverConfig hr;  // kind erpnext or odoo
  int line = 0;  // of its [[deliver]] in the file
  bool hr_system() const { return kind == Kind::kErpnext || kind == Kind::kOdoo; }
};

// A source of cardholders: the HR system's employees, read on a schedule
// and kept as the wanted card lists (docs/collector.md, "Cardholders from
// the HR system").
struct HolderSourceConfig {
  enum class Kind { kErpnext, kOdoo };
  std::string name;
  Kind kind = Kind::kErpnext;
  HrSite site;
  std::chrono::seconds every{300};
  // The employee's fields: the card (decimal, or hex with card_hex), the
  // staff number, the name; the field whose values map to groups (empty:
  // every holder goes to default_groups); the days the card opens from and
  // until (empty: none read).
  std::string card_field;
  bool card_hex = false;
  std::string staff_field;
  std::string name_field;
  std::string group_field;
  std::vector<std::pair<std::string, std::vector<std::string>>> groups;  // value -> groups
  std::vector<std::string> default_groups;
  std::string valid_from_field;
  std::string valid_until_field;
  // ERPNext: the statuses of an employee whose card opens (Odoo: an
  // employee not archived).
  std::vector<std::string> active = {"Active"};
  // A read that would revoke more holders than this is held until an admin
  // confirms it: a count, or a share of the source's holders (at least 1).
  int64_t max_revoke_count = 0;      // used when above 0
  double max_revoke_share = 0.05;
  int page_size = 100;
  int line = 0;  // of its [[holders_from]] in the file
};

struct CollectorConfig {
  std::filesystem::path source;    // the file read
  std::string database;            // as written (may hold a password)
  std::chrono::seconds poll_interval{60};
  int tcp_parallel = 32;
  // A terminal's line (its TCP connection, or its serial bus) is kept open
  // between polls only when it is polled more often than this; otherwise it
  // is opened for each poll and released afterwards, so that people's
  // programs can reach the terminal meanwhile. 0: never kept.
  std::chrono::seconds hold_line_below{10};
  // A TCP terminal that refuses the collector's connection, or drops it
  // half-way, is taken to be serving another program (busy) for this long,
  // then to be unreachable. 0: unreachable at once. (A serial device held
  // by another program is busy however long it is held.)
  std::chrono::seconds busy_limit{120};
  // When a working day begins on the terminals' clocks, for timesheets: a
  // punch before it counts on the day before, so that a night shift is
  // one day's work.
  std::chrono::minutes day_starts{0};
  HttpConfig http;
  std::vector<TerminalConfig> terminals;
  std::vector<DeliverConfig> deliveries;
  std::vector<HolderSourceConfig> holder_sources;
  // "FILE:LINE:COLUMN: message" for what is doubtful but may be right: a
  // terminal's host name that does not resolve now.
  std::vector<std::string> warnings;
};

// A mistake in the configuration: what() is "FILE:LINE:COLUMN: message"
// (LINE and COLUMN where the file has one).
class ConfigError : public Failure {
 public:
  using Failure::Failure;
};

// Reads and checks the file. Throws ConfigError for the first mistake: a
// TOML syntax error, an unknown key, a value of the wrong type or range, a
// duplicate or missing terminal name, neither or both of tcp and serial, two
// entries that reach one terminal (host names are resolved for this), a
// database URI that is not one, an unknown time zone, a group name that
// cannot be told from a list of names or from a terminal.
CollectorConfig LoadConfig(const std::filesystem::path& file);

// The same for text in memory; `source` names it in messages.
CollectorConfig ParseConfig(std::string_view text, const std::string& source);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_CONFIG_H_
