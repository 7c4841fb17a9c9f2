#include "collector/web/sinks_panel.h"

#include "collector/base/time_text.h"
#include "collector/web/html.h"

namespace tallygate::collector::web {
namespace {

// "3 h 12 min", "45 s": how long the oldest punch has waited.
std::string Waited(std::chrono::seconds age) {
  const auto s = age.count();
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min";
  return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

std::string Condition(const SinkReport& sink, Language language) {
  if (!sink.begun) return Caption(language, Msg::kNotBegun);
  // The receiver's answer is its own text: escaped like any value.
  const std::string name = Escape(sink.name);
  if (!sink.state.stopped.empty()) {
    const std::string answer = Escape(sink.state.stopped);
    return Caption(language, Msg::kSinkStopped, {answer, name});
  }
  if (!sink.state.last_error.empty()) {
    const std::string error = Escape(sink.state.last_error);
    return Caption(language, Msg::kRetrying, {error});
  }
  return Caption(language, Msg::kDelivering);
}

// "; Shift Types synced to ...", for an ERPNext sink that moved them.
std::string Synced(const SinkReport& sink, Language language) {
  if (!sink.state.shift_sync) return {};
  return "<br><small>" +
         Caption(language, Msg::kShiftSynced, {LocalTimeText(*sink.state.shift_sync)}) +
         "</small>";
}

// The punches a sink's HR system refused, with its answers.
std::string RefusalsTable(const SinkReport& sink, Language language) {
  if (sink.refused == 0) return {};
  std::string rows;
  for (const auto& [row, refusal] : sink.refusals) {
    rows += "<tr>" + Cell(Escape(row.terminal)) + Cell(std::to_string(row.punch.card)) +
            Cell(Escape(row.staff)) +
            Cell(row.punch.local ? LocalTimeText(*row.punch.local) : "—") +
            Cell(Escape(refusal.reason)) + "</tr>\n";
  }
  return "<h3>" +
         Caption(language, Msg::kRefusedPunches,
                 {Escape(sink.name), std::to_string(sink.refused)}) +
         "</h3>\n" +
         Table("refused-" + Escape(sink.name), language,
               {Msg::kTerminal, Msg::kCard, Msg::kStaff, Msg::kTime, Msg::kReason}, rows);
}

}  // namespace

std::string SinksPanel(const std::vector<SinkReport>& sinks, Language language) {
  if (sinks.empty()) return {};
  std::string rows;
  for (const SinkReport& sink : sinks) {
    const bool stopped = !sink.state.stopped.empty();
    rows += "<tr data-sink=\"" + Escape(sink.name) + "\"" + (stopped ? " class=\"stale\"" : "") +
            ">" + Cell(Escape(sink.name) + " <small>" + Escape(sink.kind) + " " +
                       Escape(sink.target) + "</small>") +
            Cell(std::to_string(sink.backlog.punches)) +
            Cell(sink.oldest_age ? Waited(*sink.oldest_age) : "—") +
            Cell(Condition(sink, language) + Synced(sink, language), stopped ? "error" : "") +
            "</tr>\n";
  }
  std::string refusals;
  for (const SinkReport& sink : sinks) refusals += RefusalsTable(sink, language);
  return "<h2>" + Caption(language, Msg::kDelivery) + "</h2>\n" +
         Table("sinks", language, {Msg::kSink, Msg::kBacklog, Msg::kOldestWaiting, Msg::kState},
               rows) +
         refusals;
}

}  // namespace tallygate::collector::web
