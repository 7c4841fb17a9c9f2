#include "collector/deliver/employee_value.h"

#include <algorithm>

#include "collector/base/value_text.h"

namespace tallygate::collector {

std::optional<std::string> EmployeeValue(const PunchRow& row, const HrDeliverConfig& hr) {
  switch (hr.employee) {
    case HrDeliverConfig::Employee::kCard: return std::to_string(row.punch.card);
    case HrDeliverConfig::Employee::kCardHex: return CardHex(row.punch.card);
    case HrDeliverConfig::Employee::kStaff: break;
  }
  if (row.staff.empty()) return std::nullopt;
  return row.staff;
}

std::string NoEmployeeValue(const PunchRow& row) {
  return "card " + std::to_string(row.punch.card) +
         " has no holder with a staff number (employee = \"staff\")";
}

Direction DirectionOf(const PunchRow& row, const HrDeliverConfig& hr) {
  const auto has = [&](const std::vector<uint8_t>& flags) {
    return std::find(flags.begin(), flags.end(), row.punch.flag) != flags.end();
  };
  if (has(hr.in_flags)) return Direction::kIn;
  if (has(hr.out_flags)) return Direction::kOut;
  return Direction::kUnknown;
}

}  // namespace tallygate::collector
