#include "bench/dashboard_figures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace tallygate::bench {

double MedianMs(const std::function<void()>& step, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    step();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void Table::Row(const std::string& what, size_t rows, double ms, const std::string& extra) {
  char line[160];
  std::snprintf(line, sizeof line, "  %-46s %5zu rows %9.2f ms", what.c_str(), rows, ms);
  Line(line + extra, ms < kTargetMs);
}

void Table::Line(const std::string& line, bool met) {
  all_met_ = all_met_ && met;
  std::printf("%s%s\n", line.c_str(), met ? "" : "   MISSED");
  std::fflush(stdout);
}

}  // namespace tallygate::bench
