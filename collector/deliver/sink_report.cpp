#include "collector/deliver/sink_report.h"

#include "collector/config/shown_url.h"

namespace tallygate::collector {

const char* SinkKindName(DeliverConfig::Kind kind) {
  switch (kind) {
    case DeliverConfig::Kind::kWebhook: return "webhook";
    case DeliverConfig::Kind::kFolder: return "folder";
    case DeliverConfig::Kind::kErpnext: return "erpnext";
    case DeliverConfig::Kind::kOdoo: return "odoo";
  }
  return "";
}

std::vector<SinkReport> SinkReports(SinkLedger& sinks, PunchReader& punches,
                                    const CollectorConfig& config, UtcTime now) {
  std::vector<SinkReport> reports;
  const std::vector<std::pair<std::string, int64_t>> refused = sinks.RefusalCounts();
  for (const DeliverConfig& sink : config.deliveries) {
    SinkReport& report = reports.emplace_back();
    report.name = sink.name;
    report.kind = SinkKindName(sink.kind);
    report.target =
        sink.kind == DeliverConfig::Kind::kFolder ? sink.path.string()
        : sink.hr_system()                        ? ShownUrl(sink.hr.site.url)
                                                  : ShownUrl(sink.url);
    for (const auto& [name, count] : refused) {
      if (name == sink.name) report.refused = count;
    }
    if (report.refused > 0) report.refusals = sinks.Refusals(sink.name, false, kShownRefusals);
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
