// Punches into Odoo as attendances (hr.attendance), paired as Odoo's own
// device integrations pair them:
//  - with in_flags / out_flags, an IN opens an attendance unless one is
//    open, and an OUT closes the open one;
//  - without, an employee's first punch of a working day (day_starts, as
//    the timesheet counts it) is the check-in and the last so far the
//    check-out, moved later as later punches come. A day's attendance is
//    never left open, so Odoo's one-open-attendance rule never refuses the
//    next day's.
// Every write is found before it is made (the employee, the time), so that
// a punch placed twice (after a crash) changes nothing the second time.
// Times go to Odoo in UTC.
#ifndef TALLYGATE_COLLECTOR_DELIVER_ODOO_PLACER_H_
#define TALLYGATE_COLLECTOR_DELIVER_ODOO_PLACER_H_

#include <chrono>
#include <map>
#include <utility>
#include <variant>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/hr/odoo_rpc.h"
#include "collector/deliver/punch_placer.h"
#include "collector/deliver/shift_sync.h"

namespace tallygate::collector {

class OdooPlacer final : public PunchPlacer {
 public:
  OdooPlacer(DeliverConfig config, std::vector<SyncTerminal> terminals,
             std::chrono::minutes day_starts);

  Placement Place(const PunchRow& row, std::stop_token stop) override;

 private:
  struct Found {
    int64_t id = 0;
    std::string check_in;   // "YYYY-MM-DD HH:MM:SS", UTC
    std::string check_out;  // empty while open
  };
  // The employee's id, or the placement that ends the punch.
  std::variant<int64_t, Placement> Employee(const std::string& value, std::stop_token stop);
  Placement Directed(const PunchRow& row, int64_t employee, const std::string& at,
                     std::stop_token stop);
  Placement Daily(const PunchRow& row, int64_t employee, const std::string& at,
                  std::stop_token stop);
  // The attendances `domain` selects (the employee's), first by check-in.
  std::variant<std::vector<Found>, Placement> Search(nlohmann::json domain, const char* order,
                                                     int limit, std::stop_token stop);
  Placement Write(std::vector<int64_t> ids, nlohmann::json values, std::stop_token stop);

  const DeliverConfig config_;
  const std::vector<SyncTerminal> terminals_;
  const std::chrono::minutes day_starts_;
  OdooRpc rpc_;
  // Employees found, by value, with when: looked up again after a while,
  // as badges move between people.
  std::map<std::string, std::pair<int64_t, std::chrono::steady_clock::time_point>> employees_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_ODOO_PLACER_H_
