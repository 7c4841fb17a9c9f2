#include "collector/app/punch_export.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "collector/store/time_text.h"
#include "tools/csv/csv_field.h"

namespace tallygate::collector {
namespace {

std::string CardHex(uint32_t card) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", card);
  return text;
}

}  // namespace

std::string ExportHeader(ExportFormat format) {
  if (format != ExportFormat::kCsv) return {};
  return "terminal,card_hex,card,staff,name,local_time,utc_time,flag,keep,position\r\n";
}

std::string ExportRow(const PunchRow& row, ExportFormat format) {
  const Punch& punch = row.punch;
  const std::string local = punch.local ? LocalTimeText(*punch.local) : "";
  const std::string utc = punch.utc ? UtcTimeText(*punch.utc) : "";
  if (format == ExportFormat::kJsonLines) {
    nlohmann::ordered_json object = {
        {"terminal", row.terminal}, {"card_hex", CardHex(punch.card)}, {"card", punch.card},
        {"staff", row.staff},       {"name", row.name},
        {"local_time", punch.local ? nlohmann::ordered_json(local) : nullptr},
        {"utc_time", punch.utc ? nlohmann::ordered_json(utc) : nullptr},
        {"flag", punch.flag},       {"keep", punch.keep},
        {"position", punch.position}};
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  std::string line;
  for (const std::string& field :
       {row.terminal, CardHex(punch.card), std::to_string(punch.card), row.staff, row.name, local,
        utc, std::to_string(punch.flag), std::to_string(punch.keep),
        std::to_string(punch.position)}) {
    if (!line.empty()) line += ',';
    line += csv::Field(field);
  }
  return line + "\r\n";
}

}  // namespace tallygate::collector
