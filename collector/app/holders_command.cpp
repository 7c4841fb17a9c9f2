#include "collector/app/holders_command.h"

#include <algorithm>
#include <exception>
#include <iostream>

#include "collector/app/service.h"
#include "collector/base/failure.h"
#include "collector/base/time_text.h"
#include "collector/base/time_zone.h"
#include "collector/cards/card_terminal.h"
#include "collector/holders/holder_source.h"
#include "collector/holders/holder_sources.h"
#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;

std::string Counts(const SourceRead& read) {
  return std::to_string(read.employees) + " employees, " + std::to_string(read.added) +
         " added, " + std::to_string(read.changed) + " changed, " + std::to_string(read.revoked) +
         " revoked";
}

// The lists of a read, indented under its line.
std::string Details(const SourceRead& read) {
  std::string out;
  for (const std::string& problem : read.problems) out += "    problem: " + problem + "\n";
  if (!read.held.empty()) {
    out += "    held: " + std::to_string(read.held.size()) + " revocations, over the limit of " +
           std::to_string(read.revoke_limit) + " (confirm: tallygate-collector holders confirm " +
           read.source + ")\n";
  }
  for (const HeldRevocation& each : read.held) {
    out += "      revoke card " + std::to_string(each.card) +
           (each.staff.empty() ? "" : " staff " + each.staff) +
           (each.name.empty() ? "" : " " + each.name) + "\n";
  }
  for (const std::string& skipped : read.skipped) out += "    skipped: " + skipped + "\n";
  return out;
}

std::string ReadLine(const SourceRead& read) {
  std::string line = "  " + read.source + ": " + SourceOutcomeName(read.outcome) + " at " +
                     UtcTimeText(read.at);
  if (read.outcome == SourceRead::Outcome::kMade) line += ", " + Counts(read);
  line += "; last success " + (read.last_success ? UtcTimeText(*read.last_success) : "never");
  return line + "\n";
}

int Run(const HolderSourceConfig& source, SourceMode mode, const CollectorConfig& config) {
  const std::unique_ptr<Store> store = OpenStore(config.database);
  const std::vector<CardTerminal> terminals = CardTerminals(config);
  // The read runs on RunStoppable's thread; what it throws is thrown here.
  std::exception_ptr failed;
  const int status = RunStoppable(store->Describe(), [&](std::stop_token stop) {
    SourceRun run;
    try {
      run = RunHolderSource(source, *store, terminals, Today(HostTimeZone()), mode,
                            std::move(stop));
    } catch (...) {
      failed = std::current_exception();
      return kBadInput;
    }
    const SourceRead& read = run.read;
    const bool plan = mode == SourceMode::kPlan;
    std::cout << "holder source " << source.name << ": "
              << (plan ? std::string("the read would be ") : std::string()) +
                     SourceOutcomeName(read.outcome)
              << " (" << read.employees << " employees)\n";
    for (const CardAudit& change : run.changes) {
      std::cout << "  " << (plan ? "would " : "") << CardActionName(change.action) << " card "
                << change.card << ": " << change.what << "\n";
    }
    std::cout << Details(read);
    return read.outcome == SourceRead::Outcome::kMade ? 0 : kBadInput;
  });
  if (failed) std::rethrow_exception(failed);
  return status;
}

}  // namespace

CLI::App* AddHoldersCommands(CLI::App& app, HoldersOptions& options) {
  CLI::App* holders =
      app.add_subcommand("holders", "cardholders kept from the HR system: the [[holders_from]]");
  holders->require_subcommand(1, 1);
  CLI::App* plan = holders->add_subcommand(
      "plan", "read the HR system now and show what it would change, changing nothing");
  plan->add_option("NAME", options.source, "the source's name")->required();
  CLI::App* confirm = holders->add_subcommand(
      "confirm", "read the HR system now and make it, with the revocations held for an admin");
  confirm->add_option("NAME", options.source, "the source's name")->required();
  return holders;
}

int RunHolders(const CLI::App& holders, const HoldersOptions& options,
               const CollectorConfig& config) {
  const auto& sources = config.holder_sources;
  const auto source = std::find_if(sources.begin(), sources.end(),
                                   [&](const HolderSourceConfig& each) {
                                     return each.name == options.source;
                                   });
  if (source == sources.end()) {
    std::cerr << "tallygate-collector: no [[holders_from]] named \"" << options.source << "\" in "
              << config.source.string() << "\n";
    return kBadInput;
  }
  try {
    const bool plan = holders.get_subcommand("plan")->parsed();
    return Run(*source, plan ? SourceMode::kPlan : SourceMode::kConfirm, config);
  } catch (const InputError& error) {
    std::cerr << "tallygate-collector: " << error.what() << "\n";
    return kBadInput;
  }
}

std::string SourceTable(const std::vector<SourceRead>& reads) {
  if (reads.empty()) return {};
  std::string out = "\nholder sources (the last read of each):\n";
  for (const SourceRead& read : reads) out += ReadLine(read) + Details(read);
  return out;
}

}  // namespace tallygate::collector
