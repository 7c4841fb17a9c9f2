// The control commands read on standard input (see tallygate-sim --help). Each line is
// answered with exactly one line, "ok ..." or "error ...". `status` adds
// indented detail lines after its answer and says how many in its last word,
// detail-lines=N, so that a reader knows when the block is complete.
#ifndef TALLYGATE_SIM_APP_CONTROL_H_
#define TALLYGATE_SIM_APP_CONTROL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/model/bus.h"
#include "sim/model/fault_plan.h"

namespace tallygate::sim {

class Control {
 public:
  // `terminals`: every simulated terminal; the first is the default target.
  Control(Bus& terminals, FaultPlan& faults, uint32_t seed)
      : terminals_(terminals), faults_(faults), seed_(seed) {}

  struct Result {
    Result(std::string answer_line = {}, bool quit_now = false)
        : answer(std::move(answer_line)), quit(quit_now) {}

    std::string answer;  // empty for a blank line
    bool quit = false;
    std::vector<std::string> detail;  // lines printed after the answer
  };

  Result Execute(std::string_view line);

 private:
  Terminal* Target(std::string_view address_text, std::string& error) const;
  Result PresentCard(const std::vector<std::string>& words);

  Bus& terminals_;
  FaultPlan& faults_;
  uint32_t seed_;
};

// The status of one terminal as "key=value" words.
std::string StatusText(const Terminal& terminal);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_CONTROL_H_
