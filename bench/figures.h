// How the process benchmarks print: each figure beside its target, MISSED
// when it is not met, FAILED under it when a step did not do what it must.
#ifndef TALLYGATE_BENCH_FIGURES_H_
#define TALLYGATE_BENCH_FIGURES_H_

#include <functional>
#include <string>

namespace tallygate::bench {

// Prints figures beside their targets and remembers whether all were met.
class Figures {
 public:
  // "WHAT: 2.41 s (target < 5 s)EXTRA", then MISSED when it was missed.
  void Print(const std::string& what, double value, const char* unit, double target,
             const std::string& extra = "");
  // The same for a target that may be reached: "(target <= 1 UNIT)".
  void PrintAtMost(const std::string& what, double value, const char* unit, double target,
                   const std::string& extra = "");
  // A step that did not do what it must, said under its figure.
  void Failed(const std::string& what);
  bool all_met() const { return all_met_; }

 private:
  bool all_met_ = true;
};

// How long `step` took, in seconds.
double SecondsOf(const std::function<void()>& step);

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_FIGURES_H_
