// A terminal's answer to one frame.
//
// Most answers are one fixed-size reply. A page of records or cards is many
// units sent back to back, each a reply of its own to the host, which reads
// and checks them one at a time; faults can aim at a single unit
// (fault_rule.h). No units means the terminal stays silent; `note` says why,
// for the log. `effect` tells a person watching what the command changed in
// the terminal (a stored message, an enrolled card), whether or not the
// reply then reaches the host.
//
// A reply with a `hold` waits that long after the frame and is withdrawn if
// the host sends anything first: a terminal on a half-duplex line does not
// talk over the host. It is for answers the host does not wait for.
#ifndef TALLYGATE_SIM_MODEL_REPLY_H_
#define TALLYGATE_SIM_MODEL_REPLY_H_

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "link/protocol/frame.h"

namespace tallygate::sim {

struct Reply {
  std::vector<Bytes> units;
  std::string note;
  std::string effect;
  std::chrono::milliseconds hold{0};

  static Reply Silent(std::string why) { return {{}, std::move(why), {}, {}}; }
  static Reply Single(Bytes unit, std::string effect = {}) {
    return {{std::move(unit)}, {}, std::move(effect), {}};
  }

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
