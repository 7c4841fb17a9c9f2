#include "collector/app/deliver_command.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

#include "collector/store/store.h"
#include "collector/base/time_text.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;

UtcTime Now() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::string Age(const SinkReport& report) {
  return report.oldest_age ? std::to_string(report.oldest_age->count()) + " s" : "-";
}

std::string SinkJson(const std::vector<SinkReport>& reports) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  const auto when = [](const std::optional<UtcTime>& time) {
    return time ? nlohmann::ordered_json(UtcTimeText(*time)) : nlohmann::ordered_json(nullptr);
  };
  for (const SinkReport& report : reports) {
    list.push_back(
        {{"sink", report.name},
         {"kind", report.kind},
         {"target", report.target},
         {"position", report.state.position},
         {"backlog", report.backlog.punches},
         {"oldest_undelivered_seconds",
          report.oldest_age ? nlohmann::ordered_json(report.oldest_age->count()) : nullptr},
         {"delivered", when(report.state.delivered)},
         {"failures", report.state.failures},
         {"last_error", report.state.last_error},
         {"stopped", report.state.stopped},
         {"stopped_at", when(report.state.stopped_at)}});
  }
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int Retry(const DeliverOptions& options, const CollectorConfig& config, SinkLedger& store) {
  const auto& sinks = config.deliveries;
  if (std::none_of(sinks.begin(), sinks.end(),
                   [&](const DeliverConfig& sink) { return sink.name == options.sink; })) {
    std::cerr << "tallygate-collector: no [[deliver]] named \"" << options.sink << "\" in "
              << config.source.string() << "\n";
    return kBadInput;
  }
  if (!store.ResumeSink(options.sink)) {
    std::cerr << "tallygate-collector: sink " << options.sink << " is not stopped\n";
    return kBadInput;
  }
  std::cout << "sink " << options.sink
            << " resumed: the batch it was refused is sent again, then the rest\n";
  return 0;
}

}  // namespace

CLI::App* AddDeliverCommands(CLI::App& app, DeliverOptions& options) {
  CLI::App* deliver = app.add_subcommand("deliver", "punches onward: the [[deliver]] sinks");
  deliver->require_subcommand(1, 1);
  CLI::App* status = deliver->add_subcommand("status", "each sink's backlog and state");
  status->add_flag("--json", options.json, "as JSON");
  CLI::App* retry = deliver->add_subcommand(
      "retry", "send the batch a receiver refused again, and go on from it");
  retry->add_option("NAME", options.sink, "the sink's name")->required();
  for (CLI::App* command : {deliver, status, retry}) command->fallthrough();
  return deliver;
}

int RunDeliver(const CLI::App& deliver, const DeliverOptions& options,
               const CollectorConfig& config) {
  const std::unique_ptr<Store> store = OpenStore(config.database);
  if (deliver.got_subcommand("retry")) return Retry(options, config, *store);
  const std::vector<SinkReport> reports = SinkReports(*store, *store, config, Now());
  std::cout << (options.json ? SinkJson(reports) : SinkTable(reports));
  return 0;
}

std::string SinkTable(const std::vector<SinkReport>& reports) {
  if (reports.empty()) return {};
  std::string out = "\nsinks:\n";
  for (const SinkReport& report : reports) {
    out += report.name + " (" + report.kind + " " + report.target + "): " +
           std::to_string(report.backlog.punches) + " to deliver, oldest " + Age(report) +
           ", after punch " + std::to_string(report.state.position) + "; " +
           SinkCondition(report) + "\n";
  }
  return out;
}

}  // namespace tallygate::collector
