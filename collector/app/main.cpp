// tallygate-collector: keeps every punch of a fleet of terminals in a
// database, exactly once.
//
//   tallygate-collector [--config FILE] [--log-level LEVEL] COMMAND
//     run [--http HOST:PORT]   poll until SIGTERM/SIGINT, serving the dashboard;
//                              SIGHUP rereads the configuration
//     once           poll every terminal once
//     status [--json]
//     export --from DATE --to DATE [--terminal NAME] [--card CARD] [--name TEXT]
//            [--format csv|jsonl] [--output FILE]
//     timesheet --from DATE --to DATE [--terminal NAME | --group G] [--format csv|jsonl]
//     check-config
//     deliver status [--json] | deliver retry NAME   the sinks (deliver_command.h)
//     cards import|add|remove|show ...   the wanted card lists (cards_command.h)
//     holders plan|confirm NAME   cardholders from the HR system (holders_command.h)
// Exit statuses: 0 done; 1 the store was unusable; 2 usage or configuration
// mistakes (nothing polled), a bad card file or value (nothing changed);
// 3 (once) a terminal was partial or unreachable; 4 (once) a terminal
// answered with another's memory.
#include <cstdio>
#include <iostream>
#include <stop_token>
#include <system_error>

#include "collector/app/cards_command.h"
#include "collector/app/deliver_command.h"
#include "collector/app/holders_command.h"
#include "collector/app/service.h"
#include "collector/app/status_report.h"
#include "collector/app/terminals_command.h"
#include "collector/app/timesheet_command.h"
#include "collector/config/config.h"
#include "collector/base/value_text.h"
#include "collector/export/punch_export.h"
#include "collector/poll/fleet.h"
#include "collector/base/log.h"
#include "collector/poll/store_watch.h"
#include "collector/store/store.h"
#include "common/cli/command_line.h"
#include "tallygate/whole_file.h"

namespace tallygate::collector {
namespace {

constexpr int kStoreUnusable = 1;
constexpr int kUsage = 2;

struct Options {
  std::string config = kDefaultConfigPath;
  std::string log_level = "info";
  bool json = false;
  std::string http;  // run: the dashboard's HOST:PORT, over [http] listen
  std::string from, to, terminal, card, name, format = "csv", output;
};

int Export(PunchReader& store, const Options& options) {
  const std::optional<LocalTime> from = ParseDay(options.from);
  const std::optional<LocalTime> to = ParseDay(options.to);
  if (!from || !to) {
    std::cerr << "tallygate-collector: export: --from and --to need a date as YYYY-MM-DD, not \""
              << (!from ? options.from : options.to) << "\"\n";
    return kUsage;
  }
  PunchFilter filter;
  filter.from = from;
  filter.to = *to + std::chrono::days{1};  // --to's day is included
  if (!options.terminal.empty()) filter.terminal = options.terminal;
  if (!options.name.empty()) filter.name = options.name;
  if (!options.card.empty()) {
    try {
      filter.card = ParseCard(options.card);
    } catch (const InputError& e) {
      std::cerr << "tallygate-collector: export: --card " << e.what() << "\n";
      return kUsage;
    }
  }
  const ExportFormat format = options.format == "jsonl" ? ExportFormat::kJsonLines
                                                        : ExportFormat::kCsv;
  if (options.output.empty()) {
    std::string header = ExportHeader(format);
    std::fwrite(header.data(), 1, header.size(), stdout);
    store.ForEachPunch(filter, [&](const PunchRow& row) {
      const std::string line = ExportRow(row, format);
      std::fwrite(line.data(), 1, line.size(), stdout);
    });
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  WholeFile file(options.output);
  file.Write(ExportHeader(format));
  store.ForEachPunch(filter, [&](const PunchRow& row) { file.Write(ExportRow(row, format)); });
  file.Commit();
  return 0;
}

int CheckConfig(const CollectorConfig& config) {
  for (const std::string& warning : config.warnings) {
    std::cerr << "tallygate-collector: warning: " << warning << "\n";
  }
  int serial = 0;
  for (const TerminalConfig& terminal : config.terminals) serial += terminal.serial() ? 1 : 0;
  std::cout << config.source.string() << ": good; " << config.terminals.size() << " terminals ("
            << config.terminals.size() - static_cast<size_t>(serial) << " TCP, " << serial
            << " serial), " << config.deliveries.size() << " sinks, database "
            << WithoutPassword(config.database) << "\n";
  return 0;
}

// Every option of every command, as parsed.
struct AllOptions {
  Options global;  // and those of run, status and export
  TimesheetOptions timesheet;
  CardsOptions cards;
  DeliverOptions deliver;
  HoldersOptions holders;
  TerminalsOptions terminals;
};

struct Commands {
  CLI::App* run;
  CLI::App* once;
  CLI::App* status;
  CLI::App* exporter;
  CLI::App* timesheet;
  CLI::App* check;
  CLI::App* cards;
  CLI::App* deliver;
  CLI::App* holders;
  CLI::App* terminals;
};

CLI::App* AddExportCommand(CLI::App& app, Options& options) {
  CLI::App* exporter = app.add_subcommand("export", "punches as CSV or JSON lines");
  exporter->add_option("--from", options.from, "first day, YYYY-MM-DD")->required();
  exporter->add_option("--to", options.to, "last day, YYYY-MM-DD (included)")->required();
  exporter->add_option("--terminal", options.terminal, "only this terminal");
  exporter->add_option("--card", options.card,
                       "only this card: decimal, or hexadecimal as 0x0012D687");
  exporter->add_option("--name", options.name, "only holders whose name contains TEXT");
  exporter->add_option("--format", options.format, "csv or jsonl")
      ->check(CLI::IsMember({"csv", "jsonl"}))
      ->capture_default_str();
  exporter->add_option("--output", options.output,
                       "write FILE (whole or not at all) instead of standard output");
  return exporter;
}

Commands AddCommands(CLI::App& app, AllOptions& all) {
  Options& options = all.global;
  app.add_option("--config", options.config, "the configuration file")
      ->capture_default_str();
  app.add_option("--log-level", options.log_level, "debug, info, warning or error")
      ->check(CLI::IsMember({"debug", "info", "warning", "error"}))
      ->capture_default_str();
  app.require_subcommand(1, 1);
  app.footer(
      "Exit status: 0 done; 1 the store was unusable; 2 a usage or configuration mistake "
      "(nothing polled), or a bad card file or value (nothing changed); 3 (once) a terminal was "
      "partial or unreachable; 4 (once) a terminal answered with another's memory (held).\n"
      "Global options may also follow the command.");
  Commands commands{};
  commands.run = app.add_subcommand("run", "poll until SIGTERM or SIGINT; SIGHUP rereads the "
                                           "configuration");
  commands.run->add_option("--http", options.http,
                           "serve the dashboard on HOST:PORT (over [http] listen)");
  commands.once = app.add_subcommand("once", "poll every terminal once");
  commands.status = app.add_subcommand("status", "show each terminal's state");
  commands.status->add_flag("--json", options.json, "as JSON");
  commands.exporter = AddExportCommand(app, options);
  commands.timesheet = AddTimesheetCommand(app, all.timesheet);
  commands.check = app.add_subcommand("check-config", "check the configuration and exit");
  commands.cards = AddCardsCommands(app, all.cards);
  commands.deliver = AddDeliverCommands(app, all.deliver);
  commands.holders = AddHoldersCommands(app, all.holders);
  commands.terminals = AddTerminalsCommands(app, all.terminals);
  for (CLI::App* command : {commands.run, commands.once, commands.status, commands.exporter,
                            commands.timesheet, commands.check}) {
    command->fallthrough();
  }
  return commands;
}

int Status(Store& store, const Options& options, const CollectorConfig& config) {
  const std::vector<TerminalState> states = store.States();
  const std::vector<PendingCard> pending = store.PendingCards("", std::nullopt);
  if (options.json) {
    std::cout << StatusJson(states, pending);
  } else {
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    std::cout << StatusTable(states, pending)
              << SinkTable(SinkReports(store, store, config, now))
              << SourceTable(store.SourceReads());
  }
  return 0;
}

// The commands that work on the store; a store that fails ends them with
// its exit status.
int RunStoreCommand(const Commands& commands, const AllOptions& all,
                    const CollectorConfig& config) {
  try {
    if (commands.cards->parsed()) return RunCards(*commands.cards, all.cards, config);
    if (commands.timesheet->parsed()) return RunTimesheet(all.timesheet, config);
    if (commands.deliver->parsed()) return RunDeliver(*commands.deliver, all.deliver, config);
    if (commands.holders->parsed()) return RunHolders(*commands.holders, all.holders, config);
    if (commands.terminals->parsed()) {
      return RunTerminals(*commands.terminals, all.terminals, config);
    }
    const std::unique_ptr<Store> opened = OpenStore(config.database);
    Store& store = *opened;
    WatchStore(store, nullptr);
    if (commands.once->parsed()) {
      Fleet fleet(config, store);
      return RunStoppable(store.Describe(), [&](std::stop_token stop) {
        return OnceStatus(fleet.PollOnce(std::move(stop)));
      });
    }
    if (commands.status->parsed()) return Status(store, all.global, config);
    return Export(store, all.global);
  } catch (const StoreError& e) {
    std::cerr << "tallygate-collector: " << e.what() << "\n";
    return kStoreUnusable;
  } catch (const Failure& e) {
    std::cerr << "tallygate-collector: " << e.what() << "\n";
    return 1;
  } catch (const std::system_error& e) {  // a file the standard library could not write
    std::cerr << "tallygate-collector: " << e.what() << "\n";
    return 1;
  }
}

int Main(int argc, char** argv) {
  CLI::App app{"Keeps every punch of a fleet of attendance terminals in SQLite or PostgreSQL, "
               "exactly once.",
               "tallygate-collector"};
  command_line::Prepare(app);
  AllOptions all;
  const Commands commands = AddCommands(app, all);
  if (std::optional<int> done = command_line::Parse(app, argc, argv)) return *done;
  SetLogLevel(*ParseLogLevel(all.global.log_level));

  CollectorConfig config;
  try {
    config = LoadConfig(all.global.config);
  } catch (const ConfigError& e) {
    std::cerr << "tallygate-collector: " << e.what() << "\n";
    return kUsage;
  }
  if (commands.check->parsed()) return CheckConfig(config);
  if (commands.run->parsed() || commands.once->parsed()) {
    for (const std::string& warning : config.warnings) Log(LogLevel::kWarning, warning);
  }
  if (commands.run->parsed()) {
    BlockServiceSignals();
    return RunService(all.global.config, std::move(config), all.global.http);
  }
  return RunStoreCommand(commands, all, config);
}

}  // namespace
}  // namespace tallygate::collector

int main(int argc, char** argv) { return tallygate::collector::Main(argc, argv); }
