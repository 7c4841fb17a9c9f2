// How dashboard_bench measures and prints: medians of a few runs, each
// figure beside its target, MISSED when it is not met.
#ifndef TALLYGATE_BENCH_DASHBOARD_FIGURES_H_
#define TALLYGATE_BENCH_DASHBOARD_FIGURES_H_

#include <cstddef>
#include <functional>
#include <string>

namespace tallygate::bench {

constexpr int kPageRows = 100;  // a page of the dashboard
constexpr int kDeepPages = 50;  // a deep page: after this many, through the cursor
constexpr int kRuns = 7;
constexpr double kTargetMs = 100;

// The median time of `runs` calls of `step`, in milliseconds.
double MedianMs(const std::function<void()>& step, int runs = kRuns);

class Table {
 public:
  // A page's (or a read's) time beside kTargetMs.
  void Row(const std::string& what, size_t rows, double ms, const std::string& extra = "");
  // Any other figure: `line` as it is, MISSED after it unless `met`.
  void Line(const std::string& line, bool met);
  bool all_met() const { return all_met_; }

 private:
  bool all_met_ = true;
};

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_DASHBOARD_FIGURES_H_
