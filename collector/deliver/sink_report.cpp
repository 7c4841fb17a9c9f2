#include "collector/deliver/sink_report.h"

#include "collector/config/shown_url.h"

namespace tallygate::collector {

std::vector<SinkReport> SinkReports(SinkLedger& sinks, PunchReader& punches,
                                    const CollectorConfig& config, UtcTime now) {
  std::vector<SinkReport> reports;
  for (const DeliverConfig& sink : config.deliveries) {
    SinkReport& report = reports.emplace_back();
    report.name = sink.name;
    const bool webhook = sink.kind == DeliverConfig::Kind::kWebhook;
    report.kind = webhook ? "webhook" : "folder";
    report.target = webhook ? ShownUrl(sink.url) : sink.path.string();
    if (std::optional<SinkState> state = sinks.LoadSink(sink.name)) {
      report.state = *state;
      report.begun = true;
    } else {
      report.state.name = sink.name;
      report.state.position = sink.from_first ? 0 : punches.LastPunchId();
    }
    report.backlog = punches.Backlog(report.state.position);
    if (report.backlog.oldest) {
      report.oldest_age = std::max(std::chrono::seconds(0), now - *report.backlog.oldest);
    }
  }
  return reports;
}

std::string SinkCondition(const SinkReport& report) {
  if (!report.begun) return "not begun";
  if (!report.state.stopped.empty()) return "stopped: " + report.state.stopped;
  if (!report.state.last_error.empty()) return "retrying: " + report.state.last_error;
  return "delivering";
}

}  // namespace tallygate::collector
