#include "collector/deliver/delivered_punch.h"

#include "collector/deliver/signature.h"
#include "collector/export/punch_export.h"

namespace tallygate::collector {
namespace {

// Text that is not UTF-8 (a name from a card list) is sent with U+FFFD in
// its place rather than refused.
std::string Dumped(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

nlohmann::ordered_json DeliveredPunch(const PunchRow& row) {
  nlohmann::ordered_json punch = {{"id", row.id}};
  const nlohmann::ordered_json columns = PunchJson(row);
  for (const auto& [key, value] : columns.items()) punch[key] = value;
  punch["raw"] = LowerHex(row.punch.raw);
  return punch;
}

std::string DeliveryBody(const std::string& delivery, std::span<const PunchRow> rows) {
  nlohmann::ordered_json body = {{"delivery", delivery}, {"punches", nlohmann::json::array()}};
  for (const PunchRow& row : rows) body["punches"].push_back(DeliveredPunch(row));
  return Dumped(body);
}

std::string FileHeader(bool json_lines) {
  return json_lines ? std::string() : "id," + ExportHeader(ExportFormat::kCsv);
}

std::string FileRow(const PunchRow& row, bool json_lines) {
  if (json_lines) {
    return Dumped(DeliveredPunch(row)) + "\n";
  }
  return std::to_string(row.id) + "," + ExportRow(row, ExportFormat::kCsv);
}

}  // namespace tallygate::collector
