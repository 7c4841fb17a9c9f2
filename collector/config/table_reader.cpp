#include "collector/config/table_reader.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "collector/config/config.h"
#include "collector/config/duration_text.h"

namespace tallygate::collector {

namespace {

// Long enough for any poll; short enough that no sum of them overflows.
constexpr std::chrono::seconds kLongestDuration = std::chrono::hours(24 * 366);

std::string_view TypeName(toml::node_type type) {
  switch (type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    case toml::node_type::none: break;
  }
  return "nothing";
}

std::string Join(std::initializer_list<std::string_view> words) {
  std::string text;
  for (const std::string_view word : words) {
    if (!text.empty()) text += ", ";
    text += word;
  }
  return text;
}

}  // namespace

std::string MessageAt(const std::string& source, const toml::source_region& at,
                      const std::string& message) {
  if (at.begin.line == 0) return source + ": " + message;
  return source + ":" + std::to_string(at.begin.line) + ":" + std::to_string(at.begin.column) +
         ": " + message;
}

void FailAt(const std::string& source, const toml::source_region& at, const std::string& message) {
  throw ConfigError(MessageAt(source, at, message));
}

TableReader::TableReader(const toml::table& table, std::string what,
                         std::initializer_list<std::string_view> allowed, const std::string& source)
    : table_(table), what_(std::move(what)), source_(source) {
  std::vector<std::pair<const toml::key*, bool>> keys;
  for (const auto& [key, value] : table_) {
    keys.emplace_back(&key, std::find(allowed.begin(), allowed.end(), key.str()) != allowed.end());
  }
  // The table keeps its keys sorted by name; mistakes are told in the file's order.
  std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
    const toml::source_position& pa = a.first->source().begin;
    const toml::source_position& pb = b.first->source().begin;
    return std::tie(pa.line, pa.column) < std::tie(pb.line, pb.column);
  });
  for (const auto& [key, known] : keys) {
    if (!known) {
      FailAt(source_, key->source(),
             "unknown key '" + std::string(key->str()) + "' in " + what_ + " (allowed: " +
                 Join(allowed) + ")");
    }
  }
}

const toml::source_region& TableReader::Region(std::string_view key) const {
  const toml::node* node = Find(key);
  return node && node->source().begin.line != 0 ? node->source() : table_.source();
}

void TableReader::Fail(std::string_view key, const std::string& message) const {
  FailAt(source_, Region(key), message);
}

void TableReader::FailTable(const std::string& message) const {
  FailAt(source_, table_.source(), message);
}

void TableReader::FailType(std::string_view key, std::string_view wanted) const {
  Fail(key, std::string(key) + " must be " + std::string(wanted) + ", not " +
                std::string(TypeName(Find(key)->type())));
}

std::optional<std::string> TableReader::String(std::string_view key) const {
  const toml::node* node = Find(key);
  if (!node) return std::nullopt;
  if (!node->is_string()) FailType(key, "a string");
  return node->as_string()->get();
}

std::optional<bool> TableReader::Boolean(std::string_view key) const {
  const toml::node* node = Find(key);
  if (!node) return std::nullopt;
  if (!node->is_boolean()) FailType(key, "true or false");
  return node->as_boolean()->get();
}

std::optional<int64_t> TableReader::Integer(std::string_view key, int64_t low, int64_t high) const {
  const toml::node* node = Find(key);
  if (!node) return std::nullopt;
  if (!node->is_integer()) FailType(key, "an integer");
  const int64_t value = node->as_integer()->get();
  if (value < low || value > high) {
    Fail(key, std::string(key) + " must be " + std::to_string(low) + " to " + std::to_string(high) +
                  ", not " + std::to_string(value));
  }
  return value;
}

std::vector<std::string> TableReader::Strings(
    std::string_view key, const std::function<std::string(const std::string&)>& check) const {
  const toml::node* node = Find(key);
  if (!node) return {};
  if (!node->is_array()) FailType(key, "an array of strings");
  std::vector<std::string> values;
  for (const toml::node& element : *node->as_array()) {
    if (!element.is_string()) {
      FailAt(source_, element.source(),
             std::string(key) + " must hold strings, not " + std::string(TypeName(element.type())));
    }
    try {
      values.push_back(check(element.as_string()->get()));
    } catch (const InputError& error) {
      FailAt(source_, element.source(), std::string(key) + ": " + error.what());
    }
  }
  return values;
}

std::optional<std::chrono::seconds> TableReader::Duration(std::string_view key,
                                                          std::chrono::seconds low) const {
  const toml::node* node = Find(key);
  if (!node) return std::nullopt;
  std::chrono::seconds value{};
  if (node->is_integer()) {
    value = std::chrono::seconds(node->as_integer()->get());
  } else if (node->is_string()) {
    value = *Parsed(key, ParseDurationText);
  } else {
    FailType(key, "an integer of seconds or a text such as \"90s\", \"5m\" or \"1h30m\"");
  }
  if (value < low) {
    Fail(key, std::string(key) + " must be at least " + std::to_string(low.count()) + " s");
  }
  if (value > kLongestDuration) Fail(key, std::string(key) + " must be at most 366 days");
  return value;
}

}  // namespace tallygate::collector
