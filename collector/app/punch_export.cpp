#include "collector/app/punch_export.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/csv/csv_field.h"

namespace tallygate::collector {
namespace {

std::string CardHex(uint32_t card) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", card);
  return text;
}

}  // namespace

namespace {

// "YYYY-MM-DD" `between` "hh:mm:ss", of seconds since 1970 in a calendar.
std::string DateTimeText(std::chrono::seconds since_epoch, char between) {
  const std::chrono::sys_days day{std::chrono::floor<std::chrono::days>(since_epoch)};
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{since_epoch - day.time_since_epoch()};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u%c%02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), between,
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace

std::string LocalText(LocalTime time) { return DateTimeText(time.time_since_epoch(), ' '); }

std::string UtcText(UtcTime time) { return DateTimeText(time.time_since_epoch(), 'T') + "Z"; }

std::string ExportHeader(ExportFormat format) {
  if (format != ExportFormat::kCsv) return {};
  return "terminal,card_hex,card,staff,name,local_time,utc_time,flag,keep,position\r\n";
}

std::string ExportRow(const PunchRow& row, ExportFormat format) {
  const Punch& punch = row.punch;
  const std::string local = punch.local ? LocalText(*punch.local) : "";
  const std::string utc = punch.utc ? UtcText(*punch.utc) : "";
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
