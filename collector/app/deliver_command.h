// `tallygate-collector deliver status [--json]`: where each [[deliver]] sink
// stands (backlog, oldest undelivered punch, last error, stopped).
// `tallygate-collector deliver retry NAME`: a sink stopped by its
// receiver's refusal sends the refused batch again, the running service
// within seconds; nothing after it was skipped meanwhile.
// `tallygate-collector deliver retry NAME --refused [--card CARD]`: an HR
// sink sends the punches its HR system refused (those of CARD only) again,
// once the employee is mended there.
#ifndef TALLYGATE_COLLECTOR_APP_DELIVER_COMMAND_H_
#define TALLYGATE_COLLECTOR_APP_DELIVER_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/deliver/sink_report.h"

namespace tallygate::collector {

struct DeliverOptions {
  std::string sink;
  bool json = false;
  bool refused = false;
  std::string card;  // with refused: only this card's
};

// Adds `deliver` to `app`, its values going to `options`.
CLI::App* AddDeliverCommands(CLI::App& app, DeliverOptions& options);

// Runs it on the store the configuration names. Returns the exit status: 0
// done, 2 an unknown sink, one that was not stopped, or no refused punch
// to send again; throws StoreError.
int RunDeliver(const CLI::App& deliver, const DeliverOptions& options,
               const CollectorConfig& config);

// The sinks as `status` shows them below the terminals; empty without any.
std::string SinkTable(const std::vector<SinkReport>& reports);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_DELIVER_COMMAND_H_
