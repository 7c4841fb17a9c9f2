#include "collector/export/punch_export.h"

#include <nlohmann/json.hpp>

#include "collector/base/value_text.h"
#include "collector/base/time_text.h"
#include "common/csv/csv_field.h"

namespace tallygate::collector {

std::string SpreadsheetText(std::string_view text) {
  const bool formula =
      !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
  return formula ? "'" + std::string(text) : std::string(text);
}

std::string ExportHeader(ExportFormat format) {
  if (format != ExportFormat::kCsv) return {};
  return "terminal,card_hex,card,staff,name,local_time,utc_time,flag,keep,position\r\n";
}

nlohmann::ordered_json PunchJson(const PunchRow& row) {
  const Punch& punch = row.punch;
  return {{"terminal", row.terminal}, {"card_hex", CardHex(punch.card)}, {"card", punch.card},
          {"staff", row.staff},       {"name", row.name},
          {"local_time", punch.local ? nlohmann::ordered_json(LocalTimeText(*punch.local)) : nullptr},
          {"utc_time", punch.utc ? nlohmann::ordered_json(UtcTimeText(*punch.utc)) : nullptr},
          {"flag", punch.flag},       {"keep", punch.keep},
          {"position", punch.position}};
}

std::string ExportRow(const PunchRow& row, ExportFormat format) {
  if (format == ExportFormat::kJsonLines) {
    return PunchJson(row).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  const Punch& punch = row.punch;
  const std::string local = punch.local ? LocalTimeText(*punch.local) : "";
  const std::string utc = punch.utc ? UtcTimeText(*punch.utc) : "";
  return csv::Line({SpreadsheetText(row.terminal), CardHex(punch.card), std::to_string(punch.card),
                    SpreadsheetText(row.staff), SpreadsheetText(row.name), local, utc,
                    std::to_string(punch.flag), std::to_string(punch.keep),
                    std::to_string(punch.position)});
}

}  // namespace tallygate::collector
