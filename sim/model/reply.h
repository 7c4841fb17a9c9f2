// A terminal's answer to one frame.
//
// Most answers are one fixed-size reply. A page of records or cards is many
// units sent back to back, each a reply of its own to the host, which reads
// and checks them one at a time; faults can aim at a single unit
// (fault_rule.h). No units means the terminal stays silent; `note` says why,
// for the log.
#ifndef TALLYGATE_SIM_MODEL_REPLY_H_
#define TALLYGATE_SIM_MODEL_REPLY_H_

#include <string>
#include <utility>
#include <vector>

#include "link/protocol/frame.h"

namespace tallygate::sim {

struct Reply {
  std::vector<Bytes> units;
  std::string note;

  static Reply Silent(std::string why) { return {{}, std::move(why)}; }
  static Reply Single(Bytes unit) { return {{std::move(unit)}, {}}; }

  bool silent() const { return units.empty(); }
  // All units, back to back.
  Bytes Joined() const {
    Bytes all;
    for (const Bytes& unit : units) all.insert(all.end(), unit.begin(), unit.end());
    return all;
  }
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_REPLY_H_
