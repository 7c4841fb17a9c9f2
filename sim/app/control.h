// The control commands read on standard input (see tallygate-sim --help). Each line is
// answered with exactly one line, "ok ..." or "error ...". `status`,
// `dump-records` and `dump-history` add indented detail lines after their
// answer and say how many in its last word, detail-lines=N, so that a reader
// knows when the block is complete.
#ifndef TALLYGATE_SIM_APP_CONTROL_H_
#define TALLYGATE_SIM_APP_CONTROL_H_

#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/app/punch_feed.h"
#include "sim/app/station.h"
#include "sim/model/fault_plan.h"

namespace tallygate::sim {

class Control {
 public:
  // `stations`: every simulated terminal; the first is the default target.
  // `fault_plans`: every plan the stations point at; a rule added or
  // cleared goes to all of them. `shows_memory`: status always tells
  // capacity= and refused=, not only once a swipe was refused.
  Control(std::deque<Station>& stations, std::deque<FaultPlan>& fault_plans, PunchFeed& punches,
          bool shows_memory)
      : stations_(stations), fault_plans_(fault_plans), punches_(punches), shows_memory_(shows_memory) {}

  struct Result {
    Result(std::string answer_line = {}, bool quit_now = false)
        : answer(std::move(answer_line)), quit(quit_now) {}

    std::string answer;  // empty for a blank line
    bool quit = false;
    std::vector<std::string> detail;  // lines printed after the answer
  };

  Result Execute(std::string_view line);

 private:
  // The station a TARGET word names: a bus address or #K; the first for "".
  Station* Target(std::string_view text, std::string& error) const;
  Result Status(const std::vector<std::string>& words);
  Result Seed(const std::vector<std::string>& words);
  Result AddRecords(const std::vector<std::string>& words);
  Result Faults(const std::vector<std::string>& words);
  Result Dump(const std::vector<std::string>& words);
  Result SetPunchRate(const std::vector<std::string>& words);
  Result PresentCard(const std::vector<std::string>& words);
  Result StopOrStart(const std::vector<std::string>& words);

  std::deque<Station>& stations_;
  std::deque<FaultPlan>& fault_plans_;
  PunchFeed& punches_;
  bool shows_memory_;
};

// The status of one terminal as "key=value" words; capacity= and refused=
// with `memory`.
std::string StatusText(const Terminal& terminal, bool memory);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_CONTROL_H_
