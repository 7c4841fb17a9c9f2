// Reading one TOML table of the configuration: its keys checked against
// those allowed, its values checked for type and range, every mistake
// thrown as a ConfigError at the line and column of the key or value.
#ifndef TALLYGATE_COLLECTOR_CONFIG_TABLE_READER_H_
#define TALLYGATE_COLLECTOR_CONFIG_TABLE_READER_H_

#include <toml++/toml.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/failure.h"

namespace tallygate::collector {

// "SOURCE:LINE:COLUMN: message", or "SOURCE: message" where `at` has no
// line.
std::string MessageAt(const std::string& source, const toml::source_region& at,
                      const std::string& message);

// Throws ConfigError with MessageAt's text.
[[noreturn]] void FailAt(const std::string& source, const toml::source_region& at,
                         const std::string& message);

class TableReader {
 public:
  // Refuses the first key, in the file's order, that is not in `allowed`.
  // `what` names the table in messages ("[[terminal]]"); `source` names
  // the file.
  TableReader(const toml::table& table, std::string what,
              std::initializer_list<std::string_view> allowed, const std::string& source);

  const toml::node* Find(std::string_view key) const { return table_.get(key); }

  // Where the key's value is; the table's own place when the key is absent.
  const toml::source_region& Region(std::string_view key) const;

  std::optional<std::string> String(std::string_view key) const;
  std::optional<bool> Boolean(std::string_view key) const;
  // An integer from `low` to `high`.
  std::optional<int64_t> Integer(std::string_view key, int64_t low, int64_t high) const;
  // An integer of seconds or a text such as "1h30m", from `low` up to a year.
  std::optional<std::chrono::seconds> Duration(std::string_view key,
                                               std::chrono::seconds low) const;

  // An array of strings, each through `check` (whose InputError becomes a
  // ConfigError at the element); empty when the key is absent.
  std::vector<std::string> Strings(
      std::string_view key,
      const std::function<std::string(const std::string&)>& check) const;

  // The key's string through `parse`, whose InputError becomes a ConfigError
  // at the value.
  template <class Parse>
  auto Parsed(std::string_view key, Parse parse) const
      -> std::optional<decltype(parse(std::string()))> {
    const std::optional<std::string> text = String(key);
    if (!text) return std::nullopt;
    try {
      return parse(*text);
    } catch (const InputError& error) {
      Fail(key, std::string(key) + ": " + error.what());
    }
  }

  // A mistake at the key's value (at the table when the key is absent).
  [[noreturn]] void Fail(std::string_view key, const std::string& message) const;
  // A mistake of the table as a whole: a key missing, two that conflict.
  [[noreturn]] void FailTable(const std::string& message) const;

  const std::string& what() const { return what_; }

 private:
  [[noreturn]] void FailType(std::string_view key, std::string_view wanted) const;

  const toml::table& table_;
  std::string what_;
  const std::string& source_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_TABLE_READER_H_
