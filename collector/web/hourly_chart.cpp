#include "collector/web/hourly_chart.h"

#include <algorithm>

#include "collector/base/time_zone.h"
#include "collector/base/value_text.h"
#include "collector/web/html.h"

namespace tallygate::collector::web {
namespace {

// The drawing's units: the bars' area, then a line of day labels.
constexpr int kHours = kChartDays * 24;
constexpr int kLeft = 32;  // room for the busiest hour's count
constexpr int kTop = 6;
constexpr int kStep = 4;  // a bar and its gap
constexpr int kBarHeight = 100;
constexpr int kWidth = kLeft + kHours * kStep + 2;
constexpr int kHeight = kTop + kBarHeight + 18;

std::string SvgText(int x, int y, const std::string& css_class, const std::string& text) {
  return "<text class=\"" + css_class + "\" x=\"" + std::to_string(x) + "\" y=\"" +
         std::to_string(y) + "\">" + text + "</text>";
}

std::string Bar(Language language, int hour, int64_t punches, int64_t busiest, LocalDay first) {
  // Any punch shows: a part of a unit rounds up.
  const int64_t height = busiest == 0 ? 0 : (punches * kBarHeight + busiest - 1) / busiest;
  const std::string day = DayText(first + std::chrono::days{hour / 24});
  const std::string clock = (hour % 24 < 10 ? "0" : "") + std::to_string(hour % 24);
  return "<rect class=\"bar\" x=\"" + std::to_string(kLeft + hour * kStep) + "\" y=\"" +
         std::to_string(kTop + kBarHeight - height) + "\" width=\"" + std::to_string(kStep - 1) +
         "\" height=\"" + std::to_string(height) + "\" data-hour=\"" + day + " " + clock +
         "\" data-punches=\"" + std::to_string(punches) + "\"><title>" +
         Caption(language, Msg::kBarTitle, {day, clock, std::to_string(punches)}) +
         "</title></rect>";
}

}  // namespace

std::string HourlyChart(Language language, const std::vector<HourCount>& counts, LocalDay today) {
  const LocalDay first = today - std::chrono::days{kChartDays - 1};
  std::vector<int64_t> hours(kHours, 0);
  for (const HourCount& count : counts) {
    const auto hour = std::chrono::floor<std::chrono::hours>(count.hour - LocalTime{first}).count();
    if (hour >= 0 && hour < kHours) hours[static_cast<size_t>(hour)] += count.punches;
  }
  const int64_t busiest = *std::max_element(hours.begin(), hours.end());
  const std::string label = Caption(language, Msg::kChartLabel,
                                    {DayText(first), DayText(today), std::to_string(busiest)});
  std::string svg = "<svg id=\"hourly\" class=\"hourly\" role=\"img\" viewBox=\"0 0 " +
                    std::to_string(kWidth) + " " + std::to_string(kHeight) + "\" aria-label=\"" +
                    label + "\"><title>" + label + "</title>";
  svg += SvgText(kLeft - 4, kTop + 8, "axis count", std::to_string(busiest)) +
         SvgText(kLeft - 4, kTop + kBarHeight, "axis count", "0");
  for (int day = 0; day < kChartDays; ++day) {
    const int x = kLeft + day * 24 * kStep;
    svg += "<line class=\"day\" x1=\"" + std::to_string(x) + "\" x2=\"" + std::to_string(x) +
           "\" y1=\"" + std::to_string(kTop) + "\" y2=\"" + std::to_string(kTop + kBarHeight + 4) +
           "\"/>" +
           SvgText(x + 2, kHeight - 2, "axis day",
                   DayText(first + std::chrono::days{day}).substr(5));  // "MM-DD"
  }
  for (int hour = 0; hour < kHours; ++hour) {
    svg += Bar(language, hour, hours[static_cast<size_t>(hour)], busiest, first);
  }
  return svg + "</svg>\n";
}

std::string HourlyChartSection(Dashboard& dashboard, Language language, const std::string& terminal,
                               const std::string& zone) {
  const LocalDay today = std::chrono::floor<std::chrono::days>(LocalNow(zone));
  const LocalTime from{today - std::chrono::days{kChartDays - 1}};
  const LocalTime to{today + std::chrono::days{1}};
  const std::vector<HourCount> counts =
      dashboard.WithStore([&](PunchReader& store) { return store.PunchesPerHour(terminal, from, to); });
  return "<h2>" + Caption(language, Msg::kChartTitle) + "</h2>\n<div class=\"chart\">" +
         HourlyChart(language, counts, today) + "</div>\n";
}

}  // namespace tallygate::collector::web
