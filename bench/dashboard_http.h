// The dashboard's HTTP answers over a filled store, from tallygate-collector
// itself: the punches page and /api/punches for each search, first and deep,
// and a month's CSV download with the collector's peak memory.
#ifndef TALLYGATE_BENCH_DASHBOARD_HTTP_H_
#define TALLYGATE_BENCH_DASHBOARD_HTTP_H_

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/dashboard_figures.h"

namespace tallygate::bench {

// A search as the dashboard's URLs take it (httplib::Params).
struct HttpSearch {
  std::string what;
  std::multimap<std::string, std::string> query;
};

// The month whose CSV is downloaded: first and last day, and the punches
// the fill put in it.
struct CsvMonth {
  std::string from;
  std::string to;
  int64_t punches = 0;
};

// Runs `program` (tallygate-collector) over `database` with its files in
// `folder`, prints the figures into `table`, and stops it with SIGTERM.
void TimeDashboard(const std::string& program, const std::string& database,
                   const std::filesystem::path& folder, const std::vector<HttpSearch>& searches,
                   const CsvMonth& month, Table& table);

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_DASHBOARD_HTTP_H_
