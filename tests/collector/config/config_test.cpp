// The collector's configuration: every mistake refused at its line and
// column with a message that names it, and good files read as written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "collector/base/time_zone.h"
#include "collector/config/config.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using std::chrono::seconds;

// A terminal the cases below add to or spoil.
constexpr const char* kGate = "[[terminal]]\nname = \"a\"\ntcp = \"10.0.0.1\"\n";

std::string MessageOf(const std::string& text) {
  try {
    ParseConfig(text, "c.toml");
  } catch (const ConfigError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(ConfigTest, RefusesEachMistakeWhereItIs) {
  struct Case {
    std::string text;
    std::string at;  // "LINE:COLUMN"
    std::string says;
  };
  const std::string gate = kGate;
  const Case cases[] = {
      {"a = = 1\n", "1:5", "could not determine value type"},
      {"pol_interval = 5\n", "1:1", "unknown key 'pol_interval' in the top level (allowed: database"},
      {gate + "zone = 1\nadress = 2\n", "4:1", "unknown key 'zone' in [[terminal]]"},
      {"terminal = [{name = \"a\", tcp = \"h\", address = 300}]\n", "1:47", "not 300"},
      {"[terminal]\nname = \"a\"\n", "1:1", "array of tables"},
      {gate + "[http]\nlisten = \"127.0.0.1:80\"\nport = 1\n", "6:1", "unknown key 'port' in [http]"},
      {"terminal = 5\n", "1:12", "array of tables"},
      {"[[terminal]]\ntcp = \"h\"\n", "1:1", "has no name"},
      {"[[terminal]]\nname = \" \"\ntcp = \"h\"\n", "2:8", "name is empty"},
      {gate + "[[terminal]]\nname = \"a\"\ntcp = \"h\"\n", "5:8", "'a' is already used by terminal 'a' (line 1)"},
      {gate + "serial = \"COM1\"\n", "4:10", "has both tcp and serial"},
      {"[[terminal]]\nname = \"a\"\n", "1:1", "neither tcp"},
      {gate + "address = 0\n", "4:11", "address must be 1 to 255, not 0"},
      {gate + "address = \"1\"\n", "4:11", "address must be an integer, not a string"},
      {gate + "set_clock = 1\n", "4:13", "set_clock must be true or false"},
      {gate + "clear_above = 65536\n", "4:15", "clear_above must be 1 to 65535"},
      {"tcp_parallel = 0\n", "1:16", "tcp_parallel must be 1 to 1024"},
      {gate + "time_zone = \"Mars/Olympus\"\n", "4:13", "unknown time zone 'Mars/Olympus'"},
      {"poll_interval = 0\n", "1:17", "must be at least 1 s"},
      {"poll_interval = 1.5\n", "1:17", "not a floating-point number"},
      {"poll_interval = \"5x\"\n", "1:17", "unknown unit 'x'"},
      {"poll_interval = \"30m1h\"\n", "1:17", "out of order"},
      {"poll_interval = \"90\"\n", "1:17", "has no unit"},
      {"poll_interval = \"400d\"\n", "1:17", "unknown unit 'd'"},
      {"poll_interval = 31622401\n", "1:17", "at most 366 days"},
      {gate + "verify_interval = -1\n", "4:19", "verify_interval must be at least 0 s"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"h:0\"\n", "3:7", "port '0' is not a number from 1 to 65535"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"h:70000\"\n", "3:7", "port '70000'"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"fe80::1\"\n", "3:7", "an IPv6 address goes in brackets"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"[fe80::1:1001\"\n", "3:7", "'[' without ']'"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"10.0.0.256\"\n", "3:7", "not a valid IPv4 address"},
      {"[[terminal]]\nname = \"a\"\nserial = \"ttyUSB0\"\n", "3:10", "neither a device path"},
      {"[[terminal]]\nname = \"a\"\nserial = \"COM256\"\n", "3:10", "COM1 to COM255"},
      {"[[terminal]]\nname=\"a\"\nserial=\"/dev/ttyS0\"\naddress=3\n"
       "[[terminal]]\nname=\"b\"\nserial=\"/dev/ttyS0\"\naddress=3\n",
       "8:9", "address 3 on bus '/dev/ttyS0' is already used by terminal 'a' (line 1): one bus, one"},
      {"[[terminal]]\nname=\"a\"\nserial=\"COM3\"\n[[terminal]]\nname=\"b\"\nserial=\"3\"\naddress=2\n",
       "6:8", "write each bus one way"},
      {gate + "[[terminal]]\nname = \"b\"\ntcp = \"10.0.0.1:1001\"\n", "4:1",
       "tcp://10.0.0.1:1001 address 1 is configured twice: terminal 'a' (line 1) and 'b'"},
      {"[[terminal]]\nname=\"a\"\ntcp=\"[::0:1]\"\n[[terminal]]\nname=\"b\"\ntcp=\"[::1]:1001\"\n",
       "4:1", "tcp://[::1]:1001 address 1 is configured twice"},
      {"[[terminal]]\nname=\"a\"\ntcp=\"Gate\"\n[[terminal]]\nname=\"b\"\ntcp=\"gate\"\n", "4:1",
       "configured twice"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"[::1]1001\"\n", "3:7", "after ']' comes ':PORT'"},
      {"[[terminal]]\nname = \"a\"\nserial = \"0\"\n", "3:10", "COM1 to COM255"},
      {"database = \"postgresql://tally:secret@db:port/att\"\n", "1:12", "bad PostgreSQL URI: port 'port'"},
      {"database = \"postgresql://tally:secret@db host/att\"\n", "1:12", "no blanks"},
      {"database = \"postgresql://tally:secret@[::1/att\"\n", "1:12", "'[' without ']'"},
      {"database = \"postgres://tally:se%zzet@db/att\"\n", "1:12", "user name and password"},
      {"database = \"postgresql://db/att?sslmode\"\n", "1:12", "KEY=VALUE, joined by '&'"},
      {"database = \"mysql://db/att\"\n", "1:12", "unknown database scheme 'mysql'"},
      {"database = \"attendance\"\n", "1:12", "neither a file path nor a database URI; the forms accepted are: empty"},
      {"database = \"host=db password secret\"\n", "1:12", "word 2 of the PostgreSQL key=value"},
      {"database = \"host=db password='secret\"\n", "1:12", "no closing quote"},
      {"database = \"sqlite:\"\n", "1:12", "no path after"},
      {"[http]\ntoken_file = \"/t\"\n", "1:1", "no listen"},
      {"[http]\nlisten = \"127.0.0.1\"\n", "2:10", "no port"},
      {"[http]\nlisten = \"127.0.0.1:1\"\nadmin_token_file = \"\"\n", "3:20",
       "admin_token_file is empty"},
      {gate + "groups = \"gates\"\n", "4:10", "groups must be an array of strings, not a string"},
      {gate + "groups = [\"gates\", 1]\n", "4:20", "groups must hold strings, not an integer"},
      {gate + "groups = [\"a;b\"]\n", "4:11", "group 'a;b' holds ';'"},
      {gate + "groups = [\"*\"]\n", "4:11", "'*' means every terminal"},
      {gate + "groups = [\" \"]\n", "4:11", "a group name is empty"},
      {gate + "unknown_cards = \"drop\"\n", "4:17", "give \"keep\" or \"remove\""},
      {gate + "card_capacity = 0\n", "4:17", "card_capacity"},
      {gate + "groups = [\"gates\", \"a\"]\n", "4:10",
       "group 'a' is the name of terminal 'a' (line 1)"},
  };
  for (const Case& c : cases) {
    const std::string message = MessageOf(c.text);
    EXPECT_THAT(message, StartsWith("c.toml:" + c.at + ": ")) << c.text;
    EXPECT_THAT(message, HasSubstr(c.says)) << c.text;
    EXPECT_THAT(message, Not(HasSubstr("secret"))) << c.text;
  }
}

// Two entries reach one terminal however each is written: host names by
// what they resolve to, device paths by the device they name.
TEST(ConfigTest, RefusesOneTerminalUnderTwoNames) {
  const testing::TempDir dir;
  const std::string link = (dir / "usb-gate-if00").string();
  std::filesystem::create_symlink("/dev/null", link);
  const auto two = [](const std::string& first, const std::string& second) {
    return "[[terminal]]\nname=\"a\"\n" + first + "\n[[terminal]]\nname=\"b\"\n" + second + "\n";
  };
  struct Case {
    std::string text;
    std::string says;  // empty: accepted
  };
  const Case cases[] = {
      {two("tcp=\"127.0.0.1:4100\"", "tcp=\"localhost:4100\""),
       "c.toml:6:5: 'b' and terminal 'a' (line 1) are one terminal: 'tcp://localhost:4100' "
       "(127.0.0.1"},
      {two("tcp=\"[::ffff:127.0.0.1]:4100\"", "tcp=\"127.0.0.1:4100\""),
       "c.toml:4:1: tcp://127.0.0.1:4100 address 1 is configured twice"},
      {two("serial=\"/dev/null\"", "serial=\"" + link + "\""),
       "c.toml:6:8: 'b' and terminal 'a' (line 1) are one terminal: '" + link +
           "' (/dev/null) and '/dev/null' both reach /dev/null, address 1"},
      {two("serial=\"/dev/null\"\naddress=2", "serial=\"" + link + "\"\naddress=3"),
       "is the bus that terminal 'a' (line 1) writes '/dev/null': write each bus one way"},
      {two("serial=\"/dev/null\"\naddress=2", "serial=\"/dev/null\"\naddress=3"), ""},
      {two("tcp=\"localhost:4100\"", "tcp=\"127.0.0.1:4101\""), ""},
      {two("tcp=\"localhost:4100\"", "tcp=\"127.0.0.1:4100\"\naddress=2"), ""},
  };
  for (const Case& c : cases) {
    const std::string message = MessageOf(c.text);
    if (c.says.empty()) {
      EXPECT_EQ(message, "(accepted)") << c.text;
    } else {
      EXPECT_THAT(message, HasSubstr(c.says)) << c.text;
    }
  }
}

TEST(ConfigTest, WarnsOfAHostNameThatDoesNotResolveAndKeepsIt) {
  const CollectorConfig config = ParseConfig(
      std::string(kGate) + "[[terminal]]\nname=\"b\"\ntcp=\"gate-b.invalid\"\n", "c.toml");
  EXPECT_EQ(config.terminals.size(), 2u);
  ASSERT_EQ(config.warnings.size(), 1u);
  EXPECT_THAT(config.warnings[0], StartsWith("c.toml:6:5: terminal 'b': host \"gate-b.invalid\""));
  EXPECT_TRUE(ParseConfig(kGate, "c.toml").warnings.empty());
}

TEST(ConfigTest, RefusesEachDeliverMistakeAtItsLine) {
  const std::string hook = "[[deliver]]\nname = \"pay\"\nkind = \"webhook\"\n";
  const std::string folder = "[[deliver]]\nname = \"hr\"\nkind = \"folder\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {hook + "url = \"ftp://h/x\"\n", "c.toml:4:7: url: \"ftp://h/x\" must start with https://"},
      {hook + "url = \"https://\"\n", "c.toml:4:7: url: \"https://\" is not a URL"},
      {hook, "c.toml:1:1: a webhook needs url"},
      {hook + "url = \"https://h/x\"\nsecret_file = \"/nonexistent/s\"\n",
       "c.toml:5:15: secret_file \"/nonexistent/s\" cannot be read"},
      {"[[deliver]]\nname = \"x\"\nkind = \"email\"\n",
       "c.toml:3:8: kind must be \"webhook\", \"folder\", \"erpnext\" or \"odoo\","
       " not \"email\""},
      {hook + "url = \"https://h/x\"\npath = \"/tmp\"\n",
       "c.toml:5:8: path is for kind = \"folder\""},
      {folder + "path = \"/nonexistent/drop\"\n", "c.toml:4:8: path \"/nonexistent/drop\" is not"},
      {folder + "path = \"/tmp\"\nevery = \"7m\"\n", "c.toml:5:9: every: \"7m\" must divide a day"},
      {folder + "path = \"/tmp\"\nformat = \"xml\"\n", "c.toml:5:10: format must be"},
      {folder + "path = \"/tmp\"\n" + folder + "path = \"/tmp\"\n",
       "c.toml:5:1: a second [[deliver]] named \"hr\""},
      {"[[deliver]]\nname = \"a/b\"\n", "c.toml:2:8: name \"a/b\" may hold only"},
  };
  for (const auto& [text, says] : cases) EXPECT_THAT(MessageOf(text), StartsWith(says)) << text;
  const CollectorConfig good = ParseConfig(
      hook + "url = \"https://h/x\"\nstart = \"new\"\n" + folder +
          "path = \"/tmp\"\nevery = \"1d\"\nformat = \"jsonl\"\n",
      "c.toml");
  ASSERT_EQ(good.deliveries.size(), 2u);
  EXPECT_FALSE(good.deliveries[0].from_first);
  EXPECT_EQ(good.deliveries[0].batch, 100);
  EXPECT_EQ(good.deliveries[1].every, std::chrono::hours(24));
  EXPECT_TRUE(good.deliveries[1].json_lines);
  EXPECT_EQ(good.deliveries[1].line, 6);
}

TEST(ConfigTest, ReadsHrSinksAndRefusesTheirMistakes) {
  testing::TempDir dir;
  const std::string key = (dir / "key").string();
  std::ofstream(key) << "k3y\n";
  const std::string erp = "[[deliver]]\nname = \"erp\"\nkind = \"erpnext\"\nurl = \"https://erp\"\n";
  const std::string keys = "api_key_file = \"" + key + "\"\napi_secret_file = \"" + key + "\"\n";
  const std::string odoo = "[[deliver]]\nname = \"od\"\nkind = \"odoo\"\nurl = \"https://od\"\n"
                           "api_key_file = \"" + key + "\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {erp, "c.toml:1:1: an erpnext sink needs api_key_file and api_secret_file"},
      {erp + keys + "employee = \"badge\"\n", "c.toml:7:12: employee must be \"staff\""},
      {erp + keys + "employee_field = \"Badge ID\"\n", "c.toml:7:18: employee_field \"Badge ID\""
                                                    " is not a field name"},
      {erp + keys + "in_flags = [1]\n", "c.toml:1:1: in_flags and out_flags go together"},
      {erp + keys + "in_flags = [1]\nout_flags = [300]\n", "c.toml:8:13: out_flags must hold"},
      {erp + keys + "in_flags = [1]\nout_flags = [1]\n", "c.toml:8:13: flag 1 is in both"},
      {erp + keys + "secret_file = \"/s\"\n", "c.toml:7:15: secret_file is for kind = \"webhook\""},
      {odoo + "shift_types = [\"Day\"]\n", "c.toml:6:15: shift_types is for kind = \"erpnext\""},
      {odoo + "protocol = \"xmlrpc\"\n", "c.toml:6:12: protocol must be \"json2\""},
      {odoo + "protocol = \"jsonrpc\"\ndatabase = \"hr\"\n", "c.toml:1:1: protocol = \"jsonrpc\""
                                                           " logs in: it needs user"},
      {odoo + "user = \"me\"\n", "c.toml:6:8: user is for protocol = \"jsonrpc\""},
  };
  for (const auto& [text, says] : cases) EXPECT_THAT(MessageOf(text), StartsWith(says)) << text;
  const CollectorConfig good = ParseConfig(
      erp + keys + "employee = \"card_hex\"\nin_flags = [1]\nout_flags = [2, 3]\n"
                   "shift_types = [\"Day shift\"]\n" +
          odoo + "protocol = \"jsonrpc\"\ndatabase = \"hr\"\nuser = \"api\"\n",
      "c.toml");
  ASSERT_EQ(good.deliveries.size(), 2u);
  const HrDeliverConfig& e = good.deliveries[0].hr;
  EXPECT_EQ(e.site.api_key, "k3y");
  EXPECT_EQ(e.employee, HrDeliverConfig::Employee::kCardHex);
  EXPECT_EQ(e.employee_field, "attendance_device_id");
  EXPECT_EQ(e.out_flags, (std::vector<uint8_t>{2, 3}));
  EXPECT_EQ(e.shift_types, (std::vector<std::string>{"Day shift"}));
  const HrDeliverConfig& o = good.deliveries[1].hr;
  EXPECT_EQ(o.site.protocol, HrSite::Protocol::kJsonRpc);
  EXPECT_EQ(o.employee_field, "barcode");
  EXPECT_EQ(o.employee, HrDeliverConfig::Employee::kStaff);
}

TEST(ConfigTest, ReadsHolderSourcesAndRefusesTheirMistakes) {
  testing::TempDir dir;
  const std::string key = (dir / "key").string();
  std::ofstream(key) << "k3y\n";
  const std::string gates = "[[terminal]]\nname = \"g1\"\ntcp = \"10.0.0.1\"\ngroups = [\"gates\"]\n";
  const std::string erp = gates + "[[holders_from]]\nname = \"erp\"\nkind = \"erpnext\"\n"
                          "url = \"https://erp\"\napi_key_file = \"" + key + "\"\napi_secret_file = \"" +
                          key + "\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {erp, "c.toml:5:1: [[holders_from]] needs default_groups"},
      {erp + "default_groups = [\"doors\"]\n", "c.toml:5:1: [[holders_from]] erp: 'doors' is no"},
      {erp + "default_groups = [\"gates\"]\ngroups = { Stores = [\"stores\"] }\n",
       "c.toml:5:1: [[holders_from]] erp: 'stores' is no"},
      {erp + "default_groups = [\"gates\"]\ncard_format = \"octal\"\n", "c.toml:12:15: card_format must"},
      {erp + "default_groups = [\"gates\"]\nmax_revoke = \"0%\"\n", "c.toml:12:14: max_revoke must"},
      {erp + "default_groups = [\"gates\"]\nprotocol = \"json2\"\n", "c.toml:12:12: protocol is not for"},
      {erp + "default_groups = [\"gates\"]\n" + erp.substr(gates.size()) + "default_groups = [\"g1\"]\n",
       "c.toml:12:1: a second [[holders_from]] named \"erp\""},
  };
  for (const auto& [text, says] : cases) EXPECT_THAT(MessageOf(text), StartsWith(says)) << text;
  const CollectorConfig good = ParseConfig(
      erp + "default_groups = [\"gates\"]\ngroups = { \"Stores - EX\" = [\"g1\", \"*\"] }\n"
            "group_field = \"department\"\ncard_format = \"hex\"\nmax_revoke = 3\nevery = \"1m\"\n",
      "c.toml");
  ASSERT_EQ(good.holder_sources.size(), 1u);
  const HolderSourceConfig& source = good.holder_sources[0];
  EXPECT_EQ(source.site.api_secret, "k3y");
  EXPECT_TRUE(source.card_hex);
  EXPECT_EQ(source.card_field, "attendance_device_id");
  EXPECT_EQ(source.valid_until_field, "relieving_date");
  EXPECT_EQ(source.groups.at(0).second, (std::vector<std::string>{"g1", "*"}));
  EXPECT_EQ(source.max_revoke_count, 3);
  EXPECT_EQ(source.every, std::chrono::minutes(1));
  EXPECT_EQ(source.active, (std::vector<std::string>{"Active"}));
}

TEST(ConfigTest, ReadsTerminalsWithTheirDefaults) {
  ASSERT_EQ(setenv("TZ", ":Europe/Berlin", 1), 0);
  struct Case {
    std::string text;
    std::string endpoint;
    int address;
    seconds poll;
    seconds verify;
    std::string zone;
    std::optional<int32_t> clear_above;
  };
  const Case cases[] = {
      {kGate, "tcp://10.0.0.1:1001", 1, seconds(60), seconds(600), "Europe/Berlin", std::nullopt},
      {"poll_interval = \"1h30m\"\n[[terminal]]\nname=\"a\"\ntcp=\"[FE80::7]:4370\"\naddress=255\n",
       "tcp://[FE80::7]:4370", 255, seconds(5400), seconds(600), "Europe/Berlin", std::nullopt},
      {"poll_interval = 5\n[[terminal]]\nname=\"a\"\nserial=\"com3\"\naddress=9\n", "com3", 9,
       seconds(5), seconds(600), "Europe/Berlin", std::nullopt},
      {"[[terminal]]\nname=\"a\"\nserial=\"/dev/ttyUSB0\"\nverify_interval=\"2h15m30s\"\n"
       "poll_interval=\"45s\"\ntime_zone=\"Asia/Shanghai\"\nclear_above=30000\n",
       "/dev/ttyUSB0", 1, seconds(45), seconds(8130), "Asia/Shanghai", 30000},
      {"[[terminal]]\nname=\"a\"\ntcp=\"gate-1.example.com:1\"\nverify_interval=0\npoll_interval=\"1m\"\n",
       "tcp://gate-1.example.com:1", 1, seconds(60), seconds(0), "Europe/Berlin", std::nullopt},
  };
  for (const Case& c : cases) {
    const CollectorConfig config = ParseConfig(c.text, "c.toml");
    ASSERT_EQ(config.terminals.size(), 1u) << c.text;
    const TerminalConfig& terminal = config.terminals[0];
    EXPECT_EQ(terminal.EndpointText(), c.endpoint) << c.text;
    EXPECT_EQ(terminal.address, c.address) << c.text;
    EXPECT_EQ(terminal.poll_interval, c.poll) << c.text;
    EXPECT_EQ(terminal.verify_interval, c.verify) << c.text;
    EXPECT_EQ(terminal.time_zone, c.zone) << c.text;
    EXPECT_EQ(terminal.clear_above, c.clear_above) << c.text;
  }
}

TEST(ConfigTest, ReadsTheTopLevelAndTheDashboard) {
  const CollectorConfig config = ParseConfig(
      "tcp_parallel = 1024\n[http]\nlisten = \"[::]:8080\"\ntoken_file = \"/t\"\n"
      "admin_token_file = \"/a\"\n" + std::string(kGate) +
          "set_clock = true\ncard_list = false\n",
      "c.toml");
  EXPECT_EQ(config.tcp_parallel, 1024);
  EXPECT_EQ(config.http.listen, "[::]:8080");
  EXPECT_EQ(config.http.token_file, "/t");
  EXPECT_EQ(config.http.admin_token_file, "/a");
  ASSERT_EQ(config.terminals.size(), 1u);
  EXPECT_TRUE(config.terminals[0].set_clock);
  EXPECT_FALSE(config.terminals[0].card_list);
  EXPECT_EQ(config.terminals[0].line, 6);
  const CollectorConfig defaults = ParseConfig("", "c.toml");
  EXPECT_EQ(defaults.tcp_parallel, 32);
  EXPECT_EQ(defaults.http.listen, "");
}

TEST(ConfigTest, KeepsEachAcceptedDatabaseFormAsWritten) {
  const std::string forms[] = {
      "",
      "sqlite:/var/lib/tallygate/punches.db",
      "/var/lib/tallygate/punches.db",
      "punches.db",
      "postgresql://tally:p%40ss@[::1]:5432,db2:5433/attendance?sslmode=require&connect_timeout=5",
      "postgres:///attendance",
      "postgresql://%2Fvar%2Frun%2Fpostgresql/attendance",
      "host=db port = 5432 dbname=attendance password='a b\\'c'",
  };
  for (const std::string& form : forms) {
    std::string quoted;  // as a TOML basic string
    for (const char c : form) quoted += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
    EXPECT_EQ(ParseConfig("database = \"" + quoted + "\"\n", "c.toml").database, form);
  }
}

TEST(ConfigTest, HostTimeZoneFollowsTzWhenItNamesAZone) {
  ASSERT_EQ(setenv("TZ", "Not/AZone", 1), 0);
  const std::string without = HostTimeZone();
  EXPECT_NE(without, "Not/AZone");
  ASSERT_EQ(setenv("TZ", "/usr/share/zoneinfo/posix/America/Chicago", 1), 0);
  EXPECT_EQ(HostTimeZone(), "America/Chicago");
  EXPECT_NE(without, "America/Chicago");
}

TEST(ConfigTest, ExampleFileLoads) {
  const std::filesystem::path example =
      std::filesystem::path(TALLYGATE_SOURCE_DIR) / "collector/collector.example.toml";
  const CollectorConfig config = LoadConfig(example);
  ASSERT_EQ(config.terminals.size(), 4u);
  EXPECT_EQ(config.terminals[1].EndpointText(), "tcp://[fd00::21]:1001");
  EXPECT_TRUE(config.terminals[3].serial());
  EXPECT_FALSE(config.terminals[3].card_list);
  EXPECT_EQ(config.terminals[0].groups, (std::vector<std::string>{"gates", "north"}));
  EXPECT_TRUE(config.terminals[3].groups.empty());
  EXPECT_TRUE(config.terminals[2].remove_unknown_cards);
  EXPECT_FALSE(config.terminals[0].remove_unknown_cards);
  EXPECT_EQ(config.http.listen, "127.0.0.1:8080");
  EXPECT_EQ(config.day_starts, std::chrono::hours{4});
  EXPECT_THROW(LoadConfig(example.parent_path() / "absent.toml"), ConfigError);
  EXPECT_THROW(LoadConfig(example.parent_path()), ConfigError);
}

}  // namespace
}  // namespace tallygate::collector
