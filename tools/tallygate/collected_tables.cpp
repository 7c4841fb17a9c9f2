#include "tools/tallygate/collected_tables.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "tallygate/record_line.h"
#include "tools/tallygate/call_arguments.h"

namespace tallygate::cli {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A number of decimal digits only, within `low` to `high`.
std::optional<int> Digits(std::string_view text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end) return {};
  if (value < low || value > high) return {};
  return value;
}

// "YYYY-MM-DD hh:mm:ss" of a record line's fields, or nothing when either
// is not a real date or time.
std::optional<std::pair<std::string, std::string>> Moment(const RecordLineFields& f) {
  const auto year = Digits(f.year, 0, 9999);
  const auto month = Digits(f.month, 1, 12);
  const auto day = Digits(f.day, 1, 31);
  if (!year || !month || !day || f.year.size() != 4 || f.month.size() != 2 ||
      f.day.size() != 2) {
    return {};
  }
  const std::chrono::year_month_day date{std::chrono::year(*year),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return {};
  const std::pair<std::string_view, int> times[] = {{f.hour, 23}, {f.minute, 59}, {f.second, 59}};
  for (const auto& [text, high] : times) {
    if (text.size() != 2 || !Digits(text, 0, high)) return {};
  }
  return std::pair{std::string(f.year) + "-" + std::string(f.month) + "-" + std::string(f.day),
                   std::string(f.hour) + ":" + std::string(f.minute) + ":" +
                       std::string(f.second)};
}

// A number when the text is one, else the text itself: a row keeps what
// its line holds.
Json NumberOr(std::string_view text) {
  if (const auto number = Digits(text, 0, 999)) return *number;
  return std::string(text);
}

Json CardNumber(std::string_view hex) {
  if (const auto value = CardValue(hex)) return *value;
  return nullptr;
}

// Flag and keep byte from the digits that hold both (see the header).
std::pair<std::string, std::string> FlagAndKeep(std::string_view flags) {
  const size_t flag_width = flags.size() == 4 ? 2 : 1;
  const size_t cut = std::min(flag_width, flags.size());
  return {std::string(flags.substr(0, cut)), std::string(flags.substr(cut))};
}

std::string_view WithoutPadding(std::string_view name) {
  while (!name.empty() && (name.back() == '\0' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

}  // namespace

std::vector<std::string> ReadCollectedLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::system_error(errno, std::generic_category(), file.string());
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw std::system_error(errno, std::generic_category(), file.string());
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(kLineEnd, at);
    if (end == std::string::npos) end = text.size();
    lines.emplace_back(text, at, end - at);
    at = end + kLineEnd.size();
  }
  return lines;
}

Table RecordTable(const std::vector<std::string>& lines) {
  Table table{{"terminal", "position", "card_hex", "card", "date", "time", "flag", "keep"}, {}};
  for (size_t position = 0; position < lines.size(); ++position) {
    if (lines[position].empty()) continue;
    const RecordLineFields f = ParseRecordLine(lines[position], {false, true});
    const auto moment = Moment(f);
    const auto [flag, keep] = FlagAndKeep(f.flags);
    table.rows.push_back({NumberOr(f.address), position, std::string(f.card), CardNumber(f.card),
                          moment ? Json(moment->first) : Json(nullptr),
                          moment ? Json(moment->second) : Json(nullptr), flag, keep});
  }
  return table;
}

Table CardTable(const std::vector<std::string>& lines) {
  Table table{{"position", "card_hex", "card", "staff", "name"}, {}};
  for (size_t position = 0; position < lines.size(); ++position) {
    if (lines[position].empty()) continue;
    const CardLineFields f = ParseCardLine(lines[position], false);
    table.rows.push_back({position, std::string(f.card), CardNumber(f.card), std::string(f.staff),
                          std::string(WithoutPadding(f.name))});
  }
  return table;
}

}  // namespace tallygate::cli
