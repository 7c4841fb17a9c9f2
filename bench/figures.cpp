#include "bench/figures.h"

#include <chrono>
#include <cstdio>

namespace tallygate::bench {

void Figures::Print(const std::string& what, double value, const char* unit, double target,
                    const std::string& extra) {
  const bool met = value < target;
  all_met_ = all_met_ && met;
  std::printf("%s: %.2f %s (target < %g %s)%s%s\n", what.c_str(), value, unit, target, unit,
              extra.c_str(), met ? "" : "   MISSED");
  std::fflush(stdout);
}

void Figures::PrintAtMost(const std::string& what, double value, const char* unit,
                          double target, const std::string& extra) {
  const bool met = value <= target;
  all_met_ = all_met_ && met;
  std::printf("%s: %.2f %s (target <= %g %s)%s%s\n", what.c_str(), value, unit, target, unit,
              extra.c_str(), met ? "" : "   MISSED");
  std::fflush(stdout);
}

void Figures::Failed(const std::string& what) {
  all_met_ = false;
  std::printf("%s   FAILED\n", what.c_str());
  std::fflush(stdout);
}

double SecondsOf(const std::function<void()>& step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace tallygate::bench
