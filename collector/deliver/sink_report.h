// Where each configured sink stands, as `status`, `deliver status`, the
// dashboard and /metrics show it: its state in the store, what it has
// still to deliver, and how old the oldest of that is.
#ifndef TALLYGATE_COLLECTOR_DELIVER_SINK_REPORT_H_
#define TALLYGATE_COLLECTOR_DELIVER_SINK_REPORT_H_

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/config/config.h"
#include "collector/store/punch_reader.h"
#include "collector/store/sink_ledger.h"

namespace tallygate::collector {

struct SinkReport {
  std::string name;
  std::string kind;    // "webhook", "folder", "erpnext" or "odoo"
  std::string target;  // the folder, or the URL with its credentials masked
  SinkState state;     // position 0 and nothing else for a sink not begun
  bool begun = false;  // the store has its state
  SinkBacklog backlog;
  // Now minus backlog.oldest; absent without a backlog.
  std::optional<std::chrono::seconds> oldest_age;
  // Punches the HR system refused, and the first kShownRefusals of them.
  int64_t refused = 0;
  std::vector<std::pair<PunchRow, RefusedPunch>> refusals;
};

inline constexpr int kShownRefusals = 50;

// The kind's name in the configuration: "webhook", "folder", "erpnext", "odoo".
const char* SinkKindName(DeliverConfig::Kind kind);

// Every sink of `config`, in its order. Throws StoreError.
std::vector<SinkReport> SinkReports(SinkLedger& sinks, PunchReader& punches,
                                    const CollectorConfig& config, UtcTime now);

// "delivering", "retrying: REASON", "stopped: REASON", "not begun".
std::string SinkCondition(const SinkReport& report);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_SINK_REPORT_H_
