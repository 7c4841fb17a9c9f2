// One read of a [[holders_from]]: the roster read whole, planned against
// the store's holders, checked as every change of the wanted lists is, and
// made by "hr:NAME", the source's owner, through the same path as a change
// by hand. Nothing changes when the read fails, comes back partial, or is
// refused by a problem; nor when it would revoke more holders than the
// source may alone: then the revocations are held until an admin confirms
// them. What the read came to is kept as the source's last.
#ifndef TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCE_H_
#define TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCE_H_

#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "collector/base/source_read.h"
#include "collector/cards/card_changes.h"
#include "collector/holders/hr_roster.h"
#include "collector/store/card_book.h"

namespace tallygate::collector {

enum class SourceMode {
  kRead,     // the scheduled read: made unless held
  kConfirm,  // an admin's: the revocations held last are made too
  kPlan,     // what the read would change: nothing is kept or changed
};

struct SourceRun {
  SourceRead read;
  // The changes made (kPlan: those the read would make), by card.
  std::vector<CardAudit> changes;
};

// Reads the HR system (ReadRoster, unless `roster` is given for a test).
using RosterReader = std::function<std::vector<Employee>(const HolderSourceConfig&, std::stop_token)>;

// One read of `source` into `store`'s lists for `terminals`; `today` on
// the collector's calendar. kConfirm throws InputError when nothing is held,
// or when the read now would revoke other holders than those held (the
// read is then kept as held with its own list, to be confirmed in turn).
SourceRun RunHolderSource(const HolderSourceConfig& source, CardBook& store,
                          std::span<const CardTerminal> terminals, LocalDay today, SourceMode mode,
                          std::stop_token stop, const RosterReader& roster = ReadRoster);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCE_H_
