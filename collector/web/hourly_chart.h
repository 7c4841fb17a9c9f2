// Punches per hour over the last seven days as inline SVG, drawn here (the
// pages run no chart script): a bar per hour of the terminals' clocks, 168
// in all, its height the hour's share of the busiest hour's, the days
// marked under them, and a <title> and aria-label that say it in words.
#ifndef TALLYGATE_COLLECTOR_WEB_HOURLY_CHART_H_
#define TALLYGATE_COLLECTOR_WEB_HOURLY_CHART_H_

#include <string>
#include <vector>

#include "collector/base/punch.h"
#include "collector/web/dashboard.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

inline constexpr int kChartDays = 7;

// <svg> of `counts` (Store::PunchesPerHour's) over the kChartDays days
// that end with `today`.
std::string HourlyChart(Language language, const std::vector<HourCount>& counts, LocalDay today);

// A heading and the chart of `terminal` (the whole fleet when empty), up
// to today in `zone` (the host's when empty), read from the store.
std::string HourlyChartSection(Dashboard& dashboard, Language language, const std::string& terminal,
                               const std::string& zone);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_HOURLY_CHART_H_
