#include "collector/cards/holder_csv.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <stdexcept>

#include "collector/cards/holder_check.h"
#include "collector/base/field_text.h"
#include "collector/base/value_text.h"
#include "common/csv/csv_records.h"

namespace tallygate::collector {
namespace {

enum Column { kCard, kStaff, kName, kTerminals, kValidFrom, kValidUntil, kColumns };
constexpr std::array<std::string_view, kColumns> kColumnNames = {
    "card", "staff", "name", "terminals", "valid_from", "valid_until"};
constexpr int kRequired = kValidFrom;  // the columns before it

// Each column's place in a record; absent for an optional one not there.
using Places = std::array<std::optional<size_t>, kColumns>;

// The header's columns; problems go to `problems`.
Places ReadHeader(const csv::Record& header, std::vector<LineProblem>& problems) {
  Places places;
  for (size_t i = 0; i < header.fields.size(); ++i) {
    const std::string_view name = TrimmedField(header.fields[i]);
    const auto known = std::find(kColumnNames.begin(), kColumnNames.end(), name);
    if (known == kColumnNames.end()) {
      problems.push_back({header.line, "unknown column '" + std::string(name) + "'"});
      continue;
    }
    auto& place = places[static_cast<size_t>(known - kColumnNames.begin())];
    if (place) problems.push_back({header.line, "column '" + std::string(name) + "' twice"});
    place = i;
  }
  for (int column = 0; column < kRequired; ++column) {
    if (!places[static_cast<size_t>(column)]) {
      problems.push_back(
          {header.line, "no column '" + std::string(kColumnNames[static_cast<size_t>(column)]) + "'"});
    }
  }
  return places;
}

// One record as a holder; a field that cannot be read is told in
// `problems` and left empty.
Cardholder ReadHolder(const csv::Record& record, const Places& places,
                      std::vector<std::string>& problems) {
  const auto field = [&](Column column) -> std::string {
    const auto& place = places[column];
    return place ? std::string(TrimmedField(record.fields[*place])) : std::string();
  };
  Cardholder holder;
  try {
    holder.card = ParseKeptCard(field(kCard));
  } catch (const InputError& error) {
    problems.push_back(std::string("card ") + error.what());
  }
  holder.staff = field(kStaff);
  holder.name = field(kName);
  holder.where = SplitNames(field(kTerminals));
  for (const Column column : {kValidFrom, kValidUntil}) {
    const std::string text = field(column);
    if (text.empty()) continue;
    const std::optional<LocalDay> day = ParseDay(text);
    if (!day) {
      problems.push_back(std::string(kColumnNames[column]) + " \"" + text +
                         "\" is not a date as YYYY-MM-DD");
    }
    (column == kValidFrom ? holder.valid_from : holder.valid_until) = day;
  }
  return holder;
}

}  // namespace

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  while (true) {
    const size_t end = text.find(';');
    const std::string_view name = TrimmedField(text.substr(0, end));
    if (!name.empty()) names.emplace_back(name);
    if (end == std::string_view::npos) return names;
    text.remove_prefix(end + 1);
  }
}

HolderFile ReadHolderCsv(std::string_view text, std::span<const CardTerminal> terminals) {
  HolderFile file;
  std::vector<csv::Record> records;
  try {
    records = csv::ReadRecords(text);
  } catch (const csv::FormatError& error) {
    file.problems.push_back({error.line(), std::string("not CSV: ") + error.what()});
    return file;
  }
  if (records.empty()) {
    file.problems.push_back({1, "no header row (card,staff,name,terminals,...)"});
    return file;
  }
  const Places places = ReadHeader(records.front(), file.problems);
  if (!file.problems.empty()) return file;
  const size_t width = records.front().fields.size();
  std::map<uint32_t, std::pair<int, size_t>> lines;  // card: its line, its holder
  for (auto record = records.begin() + 1; record != records.end(); ++record) {
    std::vector<std::string> problems;
    if (record->fields.size() != width) {
      problems.push_back(std::to_string(record->fields.size()) + " fields where the header has " +
                         std::to_string(width));
    } else {
      const Cardholder holder = ReadHolder(*record, places, problems);
      const bool read = problems.empty();
      for (std::string& problem : HolderProblems(holder, terminals)) {
        problems.push_back(std::move(problem));
      }
      if (read) {
        // The same holder twice is one; two holders of one card are a mistake.
        const auto [seen, first] = lines.try_emplace(holder.card, record->line, file.holders.size());
        if (first) {
          file.holders.push_back(holder);
        } else if (file.holders[seen->second.second] != holder) {
          problems.push_back("card " + std::to_string(holder.card) + " is on line " +
                             std::to_string(seen->second.first) + " with another holder");
        }
      }
    }
    for (std::string& problem : problems) file.problems.push_back({record->line, std::move(problem)});
  }
  return file;
}

}  // namespace tallygate::collector
