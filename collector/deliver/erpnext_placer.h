// Punches into ERPNext / Frappe HR as Employee Checkins, through the
// whitelisted method that finds the employee by a field of theirs
// (add_log_based_on_employee_field). Frappe HR keeps it under its own app
// (hrms.hr.doctype...) and ERPNext before version 14 under erpnext.hr...;
// the site's answer tells which, and the one found is logged.
//
// A check-in the site already has (the same employee and time) is refused
// by it as "already has a log with the same timestamp": that counts as
// placed, so a punch sent twice (after a crash) is one check-in.
#ifndef TALLYGATE_COLLECTOR_DELIVER_ERPNEXT_PLACER_H_
#define TALLYGATE_COLLECTOR_DELIVER_ERPNEXT_PLACER_H_

#include <chrono>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/hr/frappe_client.h"
#include "collector/deliver/punch_placer.h"
#include "collector/deliver/shift_sync.h"

namespace tallygate::collector {

// The method's two homes, newest first.
inline constexpr const char* kCheckinMethods[] = {
    "hrms.hr.doctype.employee_checkin.employee_checkin.add_log_based_on_employee_field",
    "erpnext.hr.doctype.employee_checkin.employee_checkin.add_log_based_on_employee_field",
};

// How often the Shift Types' sync time is looked at.
inline constexpr std::chrono::seconds kShiftSyncEvery{60};

class ErpnextPlacer final : public PunchPlacer {
 public:
  // `terminals`: the fleet's, whose punches the Shift Type sync waits for.
  ErpnextPlacer(DeliverConfig config, std::vector<SyncTerminal> terminals);

  Placement Place(const PunchRow& row, std::stop_token stop) override;
  // Moves each Shift Type's last_sync_of_checkin to ShiftSyncTime when it
  // went past the last one set.
  Placement Follow(PunchReader& punches, SinkState& state, std::stop_token stop) override;
  std::chrono::steady_clock::time_point FollowDue() const override;

 private:
  // The check-in's answer judged; `missing` is set when the method is not
  // at the path tried.
  Placement Judge(const HttpAnswer& answer, bool& missing) const;
  Placement SetShiftSync(const std::string& shift_type, LocalTime time, std::stop_token stop);

  const DeliverConfig config_;
  const std::vector<SyncTerminal> terminals_;
  FrappeClient site_;
  int method_ = -1;  // index into kCheckinMethods once found
  std::chrono::steady_clock::time_point follow_due_{};
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_ERPNEXT_PLACER_H_
