// /metrics in Prometheus' text exposition format: the fleet's state from
// the store and the counts of the polls since the collector started.
#ifndef TALLYGATE_COLLECTOR_WEB_METRICS_TEXT_H_
#define TALLYGATE_COLLECTOR_WEB_METRICS_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "collector/deliver/sink_report.h"
#include "collector/base/poll_metrics.h"
#include "collector/base/source_read.h"
#include "collector/base/cardholder.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {

// `text` as a label value: backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text);

// Every metric with its # HELP and # TYPE lines. Per-terminal series are
// those of the configured terminals only: a terminal taken out of the
// configuration (and the service reloaded) has none, though the store and
// the poll counts still know it; put back, its counts go on.
// The card changes pending are counted per terminal and change, 0 for
// none; the age of the oldest is absent while none is pending.
std::string MetricsText(const std::vector<TerminalView>& terminals,
                        const PollMetricsSnapshot& polls,
                        const std::vector<PendingCount>& pending, UtcTime now);

// The sinks' backlog, age of the oldest undelivered punch, failures and
// whether each is stopped; no lines without sinks but the families'.
std::string SinkMetricsText(const std::vector<SinkReport>& sinks);

// The families of the HR sources' last reads ([[holders_from]]).
std::string SourceMetricsText(const std::vector<SourceRead>& reads);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_METRICS_TEXT_H_
