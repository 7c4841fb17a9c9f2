// The control commands read on standard input (see HelpText). Each line is
// answered with exactly one line, "ok ..." or "error ...".
#ifndef TALLYGATE_SIM_APP_CONTROL_H_
#define TALLYGATE_SIM_APP_CONTROL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/model/bus.h"
#include "sim/model/fault_plan.h"

namespace tallygate::sim {

class Control {
 public:
  // `terminals`: every simulated terminal; the first is the default target.
  Control(Bus& terminals, FaultPlan& faults, uint32_t seed)
      : terminals_(terminals), faults_(faults), seed_(seed) {}

  struct Result {
    std::string answer;  // empty for a blank line
    bool quit = false;
  };

  Result Execute(std::string_view line);

 private:
  Terminal* Target(std::string_view address_text, std::string& error) const;

  Bus& terminals_;
  FaultPlan& faults_;
  uint32_t seed_;
};

// The status of one terminal as "key=value" words.
std::string StatusText(const Terminal& terminal);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_CONTROL_H_
