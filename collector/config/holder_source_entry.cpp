#include "collector/config/holder_source_entry.h"

#include <array>
#include <optional>
#include <set>
#include <span>
#include <string_view>
#include <utility>

#include "collector/config/hr_sink_keys.h"

namespace tallygate::collector {
namespace {

// A field's name as both systems write theirs: it goes into a URL's query
// or a JSON key.
std::string FieldName(const TableReader& reader, std::string_view key, std::string fallback) {
  std::string field = reader.String(key).value_or(std::move(fallback));
  if (field.empty()) return field;
  if (field.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos) {
    reader.Fail(key, std::string(key) + " \"" + field + "\" is not a field name (a-z, 0-9, _)");
  }
  return field;
}

std::string GroupName(const std::string& name) {
  if (name.empty() || name.find(';') != std::string::npos) {
    throw InputError("\"" + name + "\" is no group name: not empty, no ';'");
  }
  return name;
}

// groups = { "Stores" = ["gates", "stores"], ... }: the field's values and
// the groups each goes to.
std::vector<std::pair<std::string, std::vector<std::string>>> ReadGroupMap(
    const TableReader& reader) {
  std::vector<std::pair<std::string, std::vector<std::string>>> map;
  const toml::node* node = reader.Find("groups");
  if (node == nullptr) return map;
  const toml::table* table = node->as_table();
  if (table == nullptr) {
    reader.Fail("groups", "groups must be a table: groups = { \"Stores\" = [\"gates\"] }");
  }
  for (const auto& [value, groups] : *table) {
    const toml::array* list = groups.as_array();
    std::vector<std::string> names;
    if (list != nullptr) {
      for (const toml::node& element : *list) {
        const std::optional<std::string> name = element.value<std::string>();
        if (!name || name->empty() || name->find(';') != std::string::npos) list = nullptr;
        if (list == nullptr) break;
        names.push_back(*name);
      }
    }
    if (list == nullptr || names.empty()) {
      reader.Fail("groups", "groups: \"" + std::string(value.str()) +
                                "\" must map to an array of group names: [\"gates\"]");
    }
    map.emplace_back(std::string(value.str()), std::move(names));
  }
  return map;
}

// "5%" (a share of the source's holders) or a count.
void ReadMaxRevoke(const TableReader& reader, HolderSourceConfig& holders) {
  const toml::node* node = reader.Find("max_revoke");
  if (node == nullptr) return;
  if (node->is_integer()) {
    holders.max_revoke_count = reader.Integer("max_revoke", 1, 1'000'000).value_or(1);
    return;
  }
  const std::string text = reader.String("max_revoke").value_or("");
  double share = -1;
  if (text.size() >= 2 && text.back() == '%') {
    try {
      size_t used = 0;
      share = std::stod(text.substr(0, text.size() - 1), &used) / 100;
      if (used != text.size() - 1) share = -1;
    } catch (const std::exception&) {
      share = -1;
    }
  }
  if (share <= 0 || share > 1) {
    reader.Fail("max_revoke", "max_revoke must be a count (10) or a share (\"5%\"), not \"" +
                                  text + "\"");
  }
  holders.max_revoke_share = share;
}

HolderSourceConfig ReadSource(const toml::table& table, const std::string& source) {
  const TableReader reader(
      table, "[[holders_from]]",
      {"name", "kind", "url", "ca_file", "timeout", "api_key_file", "api_secret_file", "database",
       "protocol", "user", "every", "card_field", "card_format", "staff_field", "name_field",
       "group_field", "groups", "default_groups", "valid_from_field", "valid_until_field",
       "active", "max_revoke", "page_size"},
      source);
  HolderSourceConfig holders;
  holders.line = static_cast<int>(table.source().begin.line);
  holders.name = reader.String("name").value_or("");
  if (holders.name.empty() || holders.name.find_first_not_of(
                                  "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                  "0123456789._-") != std::string::npos) {
    reader.Fail("name", "each [[holders_from]] needs a name = \"...\" of letters, digits, . _ -");
  }
  const std::string kind = reader.String("kind").value_or("");
  const bool erpnext = kind == "erpnext";
  if (!erpnext && kind != "odoo") {
    reader.Fail("kind", "kind must be \"erpnext\" or \"odoo\", not \"" + kind + "\"");
  }
  holders.kind = erpnext ? HolderSourceConfig::Kind::kErpnext : HolderSourceConfig::Kind::kOdoo;
  static constexpr std::array<std::string_view, 3> kOdooOnly{"database", "protocol", "user"};
  static constexpr std::array<std::string_view, 2> kErpnextOnly{"api_secret_file", "active"};
  for (std::string_view key : erpnext ? std::span<const std::string_view>(kOdooOnly)
                                      : std::span<const std::string_view>(kErpnextOnly)) {
    if (reader.Find(key)) reader.Fail(key, std::string(key) + " is not for kind = \"" + kind + "\"");
  }
  holders.site = erpnext ? ReadErpnextSite(reader, "an erpnext source")
                         : ReadOdooSite(reader, "an odoo source");
  holders.every = reader.Duration("every", std::chrono::seconds(10)).value_or(holders.every);
  holders.card_field = FieldName(reader, "card_field", erpnext ? "attendance_device_id" : "barcode");
  const std::string format = reader.String("card_format").value_or("decimal");
  if (format != "decimal" && format != "hex") {
    reader.Fail("card_format", "card_format must be \"decimal\" or \"hex\", not \"" + format + "\"");
  }
  holders.card_hex = format == "hex";
  holders.staff_field =
      FieldName(reader, "staff_field", erpnext ? "employee_number" : "identification_id");
  holders.name_field = FieldName(reader, "name_field", erpnext ? "employee_name" : "name");
  holders.group_field = FieldName(reader, "group_field", "");
  holders.groups = ReadGroupMap(reader);
  holders.default_groups = reader.Strings("default_groups", GroupName);
  if (holders.default_groups.empty()) {
    reader.FailTable("[[holders_from]] needs default_groups = [...]: the groups of an employee"
                     " whose group_field value is not in groups (or of everyone without"
                     " group_field)");
  }
  holders.valid_from_field = FieldName(reader, "valid_from_field", erpnext ? "date_of_joining" : "");
  holders.valid_until_field =
      FieldName(reader, "valid_until_field", erpnext ? "relieving_date" : "departure_date");
  if (erpnext && reader.Find("active")) {
    holders.active = reader.Strings("active", [](const std::string& status) {
      if (status.empty()) throw InputError("an empty status");
      return status;
    });
  }
  ReadMaxRevoke(reader, holders);
  holders.page_size = static_cast<int>(reader.Integer("page_size", 1, 1000).value_or(100));
  return holders;
}

// The first group of `holders` that names no terminal nor any terminal's
// group: every read would be refused for it, so the file is.
std::optional<std::string> UnknownGroup(const HolderSourceConfig& holders,
                                        const std::vector<TerminalConfig>& terminals) {
  std::set<std::string> known = {"*"};
  for (const TerminalConfig& terminal : terminals) {
    known.insert(terminal.name);
    known.insert(terminal.groups.begin(), terminal.groups.end());
  }
  std::vector<std::string> named = holders.default_groups;
  for (const auto& [value, groups] : holders.groups) named.insert(named.end(), groups.begin(), groups.end());
  for (const std::string& group : named) {
    if (!known.contains(group)) return group;
  }
  return std::nullopt;
}

}  // namespace

std::vector<HolderSourceConfig> ReadHolderSources(const toml::node& node, const TableReader& top,
                                                  const std::string& source,
                                                  const std::vector<TerminalConfig>& terminals) {
  const toml::array* array = node.as_array();
  if (array == nullptr) {
    top.Fail("holders_from", "holders_from must be an array of tables: [[holders_from]]");
  }
  std::vector<HolderSourceConfig> sources;
  std::set<std::string> names;
  for (const toml::node& element : *array) {
    if (!element.is_table()) {
      FailAt(source, element.source(), "each holders_from must be a table ([[holders_from]])");
    }
    HolderSourceConfig holders = ReadSource(*element.as_table(), source);
    if (const std::optional<std::string> group = UnknownGroup(holders, terminals)) {
      FailAt(source, element.source(),
             "[[holders_from]] " + holders.name + ": '" + *group +
                 "' is no terminal's name or group (groups = [...] of a [[terminal]])");
    }
    if (!names.insert(holders.name).second) {
      FailAt(source, element.source(),
             "a second [[holders_from]] named \"" + holders.name + "\"");
    }
    sources.push_back(std::move(holders));
  }
  return sources;
}

}  // namespace tallygate::collector
