// `tallygate-collector export`: punches as RFC 4180 CSV in UTF-8 with a
// header, or as JSON lines, one row per punch:
//
//   terminal,card_hex,card,staff,name,local_time,utc_time,flag,keep,position
//   gate-1,0012D687,1234567,00001234,张三,2026-12-01 08:59:12,2026-12-01T00:59:12Z,0,0,41
//
// local_time is the terminal's own (empty for a record whose date is no
// date); utc_time is empty where the zone is unknown.
//
// The CSV is read by spreadsheets, which take a cell that starts with =,
// +, -, @ (or a tab or CR, which they may trim first) for a formula: the
// text columns, terminal, staff and name (set by whoever configures the
// collector or fills a terminal's card list), get a leading ' there.
// The other columns are numbers and times the collector writes itself,
// left as they are. JSON lines keep every text as it is.
#ifndef TALLYGATE_COLLECTOR_EXPORT_PUNCH_EXPORT_H_
#define TALLYGATE_COLLECTOR_EXPORT_PUNCH_EXPORT_H_

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "collector/store/punch_reader.h"

namespace tallygate::collector {

enum class ExportFormat { kCsv, kJsonLines };

// The header line (CSV only; empty for JSON lines), CR LF ended.
std::string ExportHeader(ExportFormat format);

// `text` as a CSV cell safe from being read as a formula: with a leading '
// when it starts with =, +, -, @, a tab or CR; as it is otherwise.
std::string SpreadsheetText(std::string_view text);

// One row, CR LF ended for CSV, LF for JSON lines.
std::string ExportRow(const PunchRow& row, ExportFormat format);

// The object of a JSON line: the CSV's columns as keys, numbers as
// numbers, empty times as null.
nlohmann::ordered_json PunchJson(const PunchRow& row);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_EXPORT_PUNCH_EXPORT_H_
