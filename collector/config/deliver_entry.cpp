#include "collector/config/deliver_entry.h"

#include <algorithm>
#include <vector>
#include <set>
#include <string_view>
#include <utility>

#include "collector/base/failure.h"
#include "collector/config/duration_text.h"
#include "collector/config/hr_sink_keys.h"
#include "collector/config/sink_keys.h"

namespace tallygate::collector {
namespace {

constexpr std::chrono::seconds kDay = std::chrono::hours(24);

// "1h", "1d", or any duration from a second up that divides a day, so that
// periods start at the same times every day.
std::chrono::seconds ParseEvery(const std::string& text) {
  const std::chrono::seconds every = text == "1d" ? kDay : ParseDurationText(text);
  if (every.count() < 1 || every > kDay || kDay % every != std::chrono::seconds(0)) {
    throw InputError("\"" + text + "\" must divide a day: \"1h\", \"1d\", \"15m\" ...");
  }
  return every;
}

// A webhook's URL, its CA bundle and signing secret, and how it is sent.
void ReadWebhook(const TableReader& reader, DeliverConfig& deliver) {
  HttpTarget target = ReadHttpTarget(reader, "a webhook", "https://...");
  deliver.url = std::move(target.url);
  deliver.ca_file = std::move(target.ca_file);
  deliver.timeout = target.timeout;
  deliver.secret_file = reader.String("secret_file").value_or("");
  if (reader.Find("secret_file")) deliver.secret = ReadSecretFile(reader, "secret_file");
  deliver.batch = static_cast<int>(reader.Integer("batch", 1, 10000).value_or(deliver.batch));
}

// A drop folder that is there, the files' format and their period.
void ReadFolder(const TableReader& reader, DeliverConfig& deliver) {
  deliver.path = reader.String("path").value_or("");
  std::error_code error;
  if (deliver.path.empty()) reader.Fail("path", "a folder needs path = \"/the/drop/folder\"");
  if (!std::filesystem::is_directory(deliver.path, error)) {
    reader.Fail("path", "path \"" + deliver.path.string() + "\" is not a folder");
  }
  const std::string format = reader.String("format").value_or("csv");
  if (format != "csv" && format != "jsonl") {
    reader.Fail("format", "format must be \"csv\" or \"jsonl\", not \"" + format + "\"");
  }
  deliver.json_lines = format == "jsonl";
  deliver.every = reader.Parsed("every", ParseEvery).value_or(deliver.every);
}

// Each kind, its name in the file and the keys only it takes (beside name,
// kind and start).
struct KindKeys {
  DeliverConfig::Kind kind;
  std::string_view name;
  std::vector<std::string_view> keys;
};

const KindKeys kKinds[] = {
    {DeliverConfig::Kind::kWebhook, "webhook",
     {"url", "ca_file", "secret_file", "timeout", "batch"}},
    {DeliverConfig::Kind::kFolder, "folder", {"path", "format", "every"}},
    {DeliverConfig::Kind::kErpnext, "erpnext",
     {"url", "ca_file", "timeout", "batch", "api_key_file", "api_secret_file", "employee",
      "employee_field", "device_id", "in_flags", "out_flags", "shift_types"}},
    {DeliverConfig::Kind::kOdoo, "odoo",
     {"url", "ca_file", "timeout", "batch", "database", "api_key_file", "protocol", "user",
      "employee", "employee_field", "in_flags", "out_flags"}},
};

// The kind's entry; refuses a kind that is none, and a key of another kind.
const KindKeys& ReadKind(const TableReader& reader, const toml::table& table) {
  const std::string kind = reader.String("kind").value_or("");
  const KindKeys* found = nullptr;
  for (const KindKeys& each : kKinds) {
    if (each.name == kind) found = &each;
  }
  if (found == nullptr) {
    reader.Fail("kind", "kind must be \"webhook\", \"folder\", \"erpnext\" or \"odoo\", not \"" +
                            kind + "\"");
  }
  for (const auto& [key, value] : table) {
    const std::string_view name = key.str();
    if (name == "name" || name == "kind" || name == "start") continue;
    if (std::find(found->keys.begin(), found->keys.end(), name) != found->keys.end()) continue;
    std::vector<std::string> kinds;
    for (const KindKeys& each : kKinds) {
      if (std::find(each.keys.begin(), each.keys.end(), name) == each.keys.end()) continue;
      kinds.push_back("\"" + std::string(each.name) + "\"");
    }
    std::string list;
    for (size_t i = 0; i < kinds.size(); ++i) {
      list += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
    }
    reader.Fail(name, std::string(name) + " is for kind = " + list);
  }
  return *found;
}

DeliverConfig ReadDeliver(const toml::table& table, const std::string& source) {
  const TableReader reader(table, "[[deliver]]",
                           {"name", "kind", "url", "ca_file", "secret_file", "timeout", "batch",
                            "path", "format", "every", "start", "api_key_file",
                            "api_secret_file", "employee", "employee_field", "device_id",
                            "in_flags", "out_flags", "shift_types", "database", "protocol",
                            "user"},
                           source);
  DeliverConfig deliver;
  deliver.line = static_cast<int>(table.source().begin.line);
  deliver.name = reader.String("name").value_or("");
  if (deliver.name.empty()) reader.Fail("name", "each [[deliver]] needs a name = \"...\"");
  // It names the sink's files and its place in the store.
  if (deliver.name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789._-") != std::string::npos) {
    reader.Fail("name", "name \"" + deliver.name + "\" may hold only letters, digits, . _ -");
  }
  deliver.kind = ReadKind(reader, table).kind;
  if (const auto start = reader.String("start")) {
    if (*start != "first" && *start != "new") {
      reader.Fail("start", "start must be \"first\" (every punch stored) or \"new\"");
    }
    deliver.from_first = *start == "first";
  }
  switch (deliver.kind) {
    case DeliverConfig::Kind::kWebhook: ReadWebhook(reader, deliver); break;
    case DeliverConfig::Kind::kFolder: ReadFolder(reader, deliver); break;
    case DeliverConfig::Kind::kErpnext: ReadErpnext(reader, deliver); break;
    case DeliverConfig::Kind::kOdoo: ReadOdoo(reader, deliver); break;
  }
  return deliver;
}

}  // namespace

std::vector<DeliverConfig> ReadDeliveries(const toml::node& node, const TableReader& top,
                                          const std::string& source) {
  const toml::array* array = node.as_array();
  if (array == nullptr) {
    top.Fail("deliver", "deliver must be an array of tables, each written [[deliver]]");
  }
  std::vector<DeliverConfig> deliveries;
  std::set<std::string> names;
  for (const toml::node& element : *array) {
    if (!element.is_table()) {
      FailAt(source, element.source(), "each deliver must be a table ([[deliver]])");
    }
    DeliverConfig deliver = ReadDeliver(*element.as_table(), source);
    if (!names.insert(deliver.name).second) {
      FailAt(source, element.source(), "a second [[deliver]] named \"" + deliver.name + "\"");
    }
    deliveries.push_back(std::move(deliver));
  }
  return deliveries;
}

}  // namespace tallygate::collector
