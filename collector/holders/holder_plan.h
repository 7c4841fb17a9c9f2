// What a read of the HR system decides for the wanted card lists: the
// holders it owns, put as the employees are, and those of its holders no
// longer active, revoked. A bad record (a card that is no card, two
// employees with one card, a card a person added by hand, a name or group
// a terminal cannot take) refuses the whole read; an employee without a
// card is skipped and listed. Holders added by hand are never touched.
#ifndef TALLYGATE_COLLECTOR_HOLDERS_HOLDER_PLAN_H_
#define TALLYGATE_COLLECTOR_HOLDERS_HOLDER_PLAN_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "collector/base/cardholder.h"
#include "collector/config/config.h"
#include "collector/holders/hr_roster.h"

namespace tallygate::collector {

struct HolderPlan {
  std::vector<Cardholder> put;    // active employees' holders, owned by the source
  std::vector<uint32_t> revoke;   // the source's holders no longer active or gone
  std::vector<std::string> skipped;   // "HR-EMP-00007 (Ann): no card"
  std::vector<std::string> problems;  // each refuses the read
  // More revocations than the source may make alone: held for an admin.
  bool held = false;
  int64_t revoke_limit = 0;
};

// "hr:NAME", the owner of the holders a source keeps, and the audit's `by`.
std::string SourceOwner(const HolderSourceConfig& source);

// The plan of one read: `employees` as read, `holders` every holder now (by
// card, revoked ones too), `today` on the collector's calendar for a
// joining date in the future.
HolderPlan PlanHolders(const HolderSourceConfig& source, std::span<const Employee> employees,
                       std::span<const Cardholder> holders, LocalDay today);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_HOLDERS_HOLDER_PLAN_H_
