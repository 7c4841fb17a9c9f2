#include "collector/config/hr_sink_keys.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "collector/config/sink_keys.h"

namespace tallygate::collector {
namespace {

// Per punch, a request or more: the batch only says how often the position
// is saved, so it may be larger than a webhook's.
constexpr int kHrBatch = 200;

// employee = "staff" | "card" | "card_hex", and the field it is matched
// against (`field` by default).
void ReadEmployee(const TableReader& reader, HrDeliverConfig& hr, const char* field) {
  const std::string employee = reader.String("employee").value_or("staff");
  if (employee == "card") {
    hr.employee = HrDeliverConfig::Employee::kCard;
  } else if (employee == "card_hex") {
    hr.employee = HrDeliverConfig::Employee::kCardHex;
  } else if (employee != "staff") {
    reader.Fail("employee", "employee must be \"staff\" (the holder's staff number), \"card\" or"
                            " \"card_hex\", not \"" + employee + "\"");
  }
  hr.employee_field = reader.String("employee_field").value_or(field);
  // It is sent as a name of a field, in a URL's filter or a JSON key.
  if (hr.employee_field.empty() ||
      hr.employee_field.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") !=
          std::string::npos) {
    reader.Fail("employee_field", "employee_field \"" + hr.employee_field +
                                      "\" is not a field name (a-z, 0-9, _)");
  }
}

// in_flags / out_flags: the record flags (0 to 255) that mean IN and OUT.
std::vector<uint8_t> ReadFlags(const TableReader& reader, std::string_view key) {
  std::vector<uint8_t> flags;
  const toml::node* node = reader.Find(key);
  if (node == nullptr) return flags;
  const toml::array* array = node->as_array();
  if (array == nullptr) reader.Fail(key, std::string(key) + " must be an array of flags: [1]");
  for (const toml::node& element : *array) {
    const std::optional<int64_t> flag = element.value<int64_t>();
    if (!flag || *flag < 0 || *flag > 255) {
      reader.Fail(key, std::string(key) + " must hold flags from 0 to 255");
    }
    flags.push_back(static_cast<uint8_t>(*flag));
  }
  return flags;
}

void ReadLogTypes(const TableReader& reader, HrDeliverConfig& hr) {
  hr.in_flags = ReadFlags(reader, "in_flags");
  hr.out_flags = ReadFlags(reader, "out_flags");
  for (uint8_t flag : hr.in_flags) {
    if (std::find(hr.out_flags.begin(), hr.out_flags.end(), flag) != hr.out_flags.end()) {
      reader.Fail("out_flags", "flag " + std::to_string(flag) + " is in both in_flags and"
                               " out_flags");
    }
  }
  if (hr.in_flags.empty() != hr.out_flags.empty()) {
    reader.FailTable("in_flags and out_flags go together: give both, or neither");
  }
}

HrSite SiteOf(HttpTarget target) {
  HrSite site;
  site.url = std::move(target.url);
  site.ca_file = std::move(target.ca_file);
  site.timeout = target.timeout;
  return site;
}

}  // namespace

HrSite ReadErpnextSite(const TableReader& reader, const char* what) {
  HttpTarget target = ReadHttpTarget(reader, what, "https://erp.example.com");
  HrSite site = SiteOf(std::move(target));
  if (!reader.Find("api_key_file") || !reader.Find("api_secret_file")) {
    reader.FailTable(std::string(what) + " needs api_key_file and api_secret_file (the API"
                     " user's key and secret)");
  }
  site.api_key = ReadSecretFile(reader, "api_key_file");
  site.api_secret = ReadSecretFile(reader, "api_secret_file");
  return site;
}

HrSite ReadOdooSite(const TableReader& reader, const char* what) {
  HttpTarget target = ReadHttpTarget(reader, what, "https://odoo.example.com");
  HrSite site = SiteOf(std::move(target));
  if (!reader.Find("api_key_file")) {
    reader.FailTable(std::string(what) + " needs api_key_file (an API key of the Odoo user)");
  }
  site.api_key = ReadSecretFile(reader, "api_key_file");
  site.database = reader.String("database").value_or("");
  const std::string protocol = reader.String("protocol").value_or("json2");
  if (protocol == "jsonrpc") {
    site.protocol = HrSite::Protocol::kJsonRpc;
  } else if (protocol != "json2") {
    reader.Fail("protocol", "protocol must be \"json2\" (Odoo 19 and later) or \"jsonrpc\""
                            " (before Odoo 19), not \"" + protocol + "\"");
  }
  site.user = reader.String("user").value_or("");
  if (site.protocol == HrSite::Protocol::kJsonRpc) {
    if (site.database.empty()) reader.FailTable("protocol = \"jsonrpc\" needs database = \"...\"");
    if (site.user.empty()) {
      reader.FailTable("protocol = \"jsonrpc\" logs in: it needs user = \"the API user's login\"");
    }
  } else if (reader.Find("user")) {
    reader.Fail("user", "user is for protocol = \"jsonrpc\": JSON-2 knows the user by its key");
  }
  return site;
}

void ReadErpnext(const TableReader& reader, DeliverConfig& deliver) {
  HrDeliverConfig& hr = deliver.hr;
  hr.site = ReadErpnextSite(reader, "an erpnext sink");
  ReadEmployee(reader, hr, "attendance_device_id");
  hr.device_id = reader.String("device_id").value_or("");
  ReadLogTypes(reader, hr);
  hr.shift_types = reader.Strings("shift_types", [](const std::string& name) {
    if (name.empty() || name.size() > 140) throw InputError("a Shift Type's name, 1 to 140 bytes");
    return name;
  });
  deliver.batch = static_cast<int>(reader.Integer("batch", 1, 10000).value_or(kHrBatch));
}

void ReadOdoo(const TableReader& reader, DeliverConfig& deliver) {
  HrDeliverConfig& hr = deliver.hr;
  hr.site = ReadOdooSite(reader, "an odoo sink");
  ReadEmployee(reader, hr, "barcode");
  ReadLogTypes(reader, hr);
  deliver.batch = static_cast<int>(reader.Integer("batch", 1, 10000).value_or(kHrBatch));
}

}  // namespace tallygate::collector
