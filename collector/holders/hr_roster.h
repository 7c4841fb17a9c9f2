// Every employee of an HR system, read whole: ERPNext's Employee records
// through the REST resource API, or Odoo's hr.employee through JSON-2 or
// JSON-RPC, page by page, in the fields a [[holders_from]] names. A read
// that does not come back whole (a page failing, the count of employees
// changing while it is read) is no read: it throws, and nothing is decided
// from it.
#ifndef TALLYGATE_COLLECTOR_HOLDERS_HR_ROSTER_H_
#define TALLYGATE_COLLECTOR_HOLDERS_HR_ROSTER_H_

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "collector/base/failure.h"
#include "collector/base/punch.h"
#include "collector/config/config.h"

namespace tallygate::collector {

struct Employee {
  std::string id;     // ERPNext's name ("HR-EMP-00001"), Odoo's record id
  std::string card;   // card_field's value as written; empty: none
  std::string staff;
  std::string name;
  std::string group;  // group_field's value (a link's name); empty: none
  bool active = true;
  std::optional<LocalDay> valid_from;
  std::optional<LocalDay> valid_until;
  bool operator==(const Employee&) const = default;
};

// A read of the HR system that failed or came back partial.
class RosterError : public Failure {
 public:
  using Failure::Failure;
};

// Every employee, active or not, by id. Throws RosterError.
std::vector<Employee> ReadRoster(const HolderSourceConfig& source, std::stop_token stop);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_HOLDERS_HR_ROSTER_H_
