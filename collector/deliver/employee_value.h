// What an HR sink sends of a punch: the value that names its employee and
// the direction its flag means.
#ifndef TALLYGATE_COLLECTOR_DELIVER_EMPLOYEE_VALUE_H_
#define TALLYGATE_COLLECTOR_DELIVER_EMPLOYEE_VALUE_H_

#include <optional>
#include <string>

#include "collector/config/config.h"
#include "collector/store/punch_reader.h"

namespace tallygate::collector {

// The punch's value for `hr.employee`: the holder's staff number, or the
// card in decimal or as 8 hex digits. Absent for a staff number when the
// card has no holder with one.
std::optional<std::string> EmployeeValue(const PunchRow& row, const HrDeliverConfig& hr);

// Why a punch has no value: "card 1234567 has no holder with a staff number".
std::string NoEmployeeValue(const PunchRow& row);

enum class Direction { kUnknown, kIn, kOut };

// IN or OUT by the flag mappings; kUnknown without them or for another flag.
Direction DirectionOf(const PunchRow& row, const HrDeliverConfig& hr);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_EMPLOYEE_VALUE_H_
