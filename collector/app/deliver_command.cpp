#include "collector/app/deliver_command.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>

#include "collector/base/failure.h"
#include "collector/base/time_text.h"
#include "collector/base/time_zone.h"
#include "collector/base/value_text.h"
#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;

std::string Age(const SinkReport& report) {
  return report.oldest_age ? std::to_string(report.oldest_age->count()) + " s" : "-";
}

nlohmann::ordered_json RefusalsJson(const SinkReport& report) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& [row, refusal] : report.refusals) {
    list.push_back({{"punch", row.id},
                    {"terminal", row.terminal},
                    {"card", row.punch.card},
                    {"staff", row.staff},
                    {"local_time", row.punch.local ? LocalTimeText(*row.punch.local) : ""},
                    {"reason", refusal.reason},
                    {"refused_at", UtcTimeText(refusal.at)},
                    {"again", refusal.again}});
  }
  return list;
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
         {"stopped_at", when(report.state.stopped_at)},
         {"refused", report.refused},
         {"refusals", RefusalsJson(report)},
         {"shift_sync", report.state.shift_sync
                            ? nlohmann::ordered_json(LocalTimeText(*report.state.shift_sync))
                            : nlohmann::ordered_json(nullptr)}});
  }
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The punches the sink's HR system refused, asked to be sent again.
int RetryRefused(const DeliverOptions& options, const DeliverConfig& sink, SinkLedger& store) {
  if (!sink.hr_system()) {
    std::cerr << "tallygate-collector: sink " << sink.name
              << " is no HR system's: its receiver refuses batches, not punches\n";
    return kBadInput;
  }
  std::optional<uint32_t> card;
  if (!options.card.empty()) {
    try {
      card = ParseCard(options.card);
    } catch (const InputError& error) {
      std::cerr << "tallygate-collector: --card: " << error.what() << "\n";
      return kBadInput;
    }
  }
  const int64_t asked = store.AskAgain(sink.name, card);
  const std::string of = card ? " of card " + std::to_string(*card) : "";
  if (asked == 0) {
    std::cerr << "tallygate-collector: sink " << sink.name << " has no refused punch" << of << "\n";
    return kBadInput;
  }
  std::cout << "sink " << sink.name << ": " << asked << " refused punch" << (asked == 1 ? "" : "es")
            << of << " sent again; those refused again are listed again\n";
  return 0;
}

int Retry(const DeliverOptions& options, const CollectorConfig& config, SinkLedger& store) {
  const auto& sinks = config.deliveries;
  const auto sink = std::find_if(sinks.begin(), sinks.end(), [&](const DeliverConfig& each) {
    return each.name == options.sink;
  });
  if (sink == sinks.end()) {
    std::cerr << "tallygate-collector: no [[deliver]] named \"" << options.sink << "\" in "
              << config.source.string() << "\n";
    return kBadInput;
  }
  if (options.refused) return RetryRefused(options, *sink, store);
  if (!store.ResumeSink(options.sink)) {
    std::cerr << "tallygate-collector: sink " << options.sink << " is not stopped\n";
    return kBadInput;
  }
  std::cout << "sink " << options.sink
            << " resumed: the batch it was refused is sent again, then the rest\n";
  return 0;
}

std::string RefusalLines(const SinkReport& report) {
  if (report.refused == 0) return {};
  std::string out = "  " + std::to_string(report.refused) + " refused punch" +
                    (report.refused == 1 ? "" : "es") + " (send again: tallygate-collector deliver"
                    " retry " + report.name + " --refused [--card CARD]):\n";
  for (const auto& [row, refusal] : report.refusals) {
    out += "    punch " + std::to_string(row.id) + " " + row.terminal + " card " +
           std::to_string(row.punch.card) + (row.staff.empty() ? "" : " staff " + row.staff) +
           " " + (row.punch.local ? LocalTimeText(*row.punch.local) : "(no date)") + ": " +
           refusal.reason + (refusal.again ? " (to be sent again)" : "") + "\n";
  }
  if (report.refused > static_cast<int64_t>(report.refusals.size())) {
    out += "    ... and " + std::to_string(report.refused - static_cast<int64_t>(report.refusals.size())) +
           " more (deliver status --json lists the first " + std::to_string(kShownRefusals) + ")\n";
  }
  return out;
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
  retry->add_flag("--refused", options.refused,
                  "an HR sink: send the punches its HR system refused again");
  retry->add_option("--card", options.card, "with --refused: only this card's (decimal or hex)")
      ->needs(retry->get_option("--refused"));
  for (CLI::App* command : {deliver, status, retry}) command->fallthrough();
  return deliver;
}

int RunDeliver(const CLI::App& deliver, const DeliverOptions& options,
               const CollectorConfig& config) {
  const std::unique_ptr<Store> store = OpenStore(config.database);
  if (deliver.got_subcommand("retry")) return Retry(options, config, *store);
  const std::vector<SinkReport> reports = SinkReports(*store, *store, config, UtcNow());
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
           SinkCondition(report) +
           (report.state.shift_sync
                ? "; Shift Types synced to " + LocalTimeText(*report.state.shift_sync)
                : "") +
           "\n" + RefusalLines(report);
  }
  return out;
}

}  // namespace tallygate::collector
