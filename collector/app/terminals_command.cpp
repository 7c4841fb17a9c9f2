#include "collector/app/terminals_command.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr int kRefused = 2;

int Refuse(const std::string& why) {
  std::cerr << "tallygate-collector: " << why << "; nothing changed\n";
  return kRefused;
}

bool Configured(const CollectorConfig& config, const std::string& name) {
  return std::any_of(config.terminals.begin(), config.terminals.end(),
                     [&](const TerminalConfig& terminal) { return terminal.name == name; });
}

std::optional<TerminalState> Stored(PunchReader& store, const std::string& name) {
  for (TerminalState& state : store.States()) {
    if (state.info.name == name) return std::move(state);
  }
  return std::nullopt;
}

int Move(const TerminalsOptions& options, const CollectorConfig& config, Store& store) {
  const std::string& from = options.from;
  const std::string& to = options.to;
  const std::string file = config.source.string();
  if (from == to) return Refuse("a terminal moves to another name");
  if (Configured(config, from)) {
    return Refuse(from + " is still configured in " + file +
                  ": remove it (or rename it to " + to + ") and reload the service first");
  }
  if (!Configured(config, to)) return Refuse("no terminal named " + to + " in " + file);
  const std::optional<TerminalState> old = Stored(store, from);
  if (!old) return Refuse("no terminal " + from + " in the store " + store.Describe());
  if (const std::optional<TerminalState> now = Stored(store, to);
      now && (now->punches > 0 || now->mark.positions > 0)) {
    return Refuse(to + " already has " + std::to_string(now->punches) +
                  " punches of its own: a history moves only onto a name that has none");
  }
  // Another collector on the database still polling the old name would
  // go on storing under it.
  if (!store.ClaimTerminal(from)) {
    return Refuse(from + " is polled by a running collector sharing the database: remove it"
                         " from that collector's configuration first");
  }
  store.MoveTerminal(from, to);
  std::cout << from << " is " << to << " from now on: " << old->punches << " punches and its "
            << old->mark.positions << " stored positions carried over; " << to
            << " continues from there at its next poll\n";
  return 0;
}

int Accept(const TerminalsOptions& options, const CollectorConfig& config, Store& store) {
  const std::string& name = options.from;
  if (!Configured(config, name)) {
    return Refuse("no terminal named " + name + " in " + config.source.string());
  }
  if (!Stored(store, name)) return Refuse("no terminal " + name + " in the store");
  store.AcceptMemory(name);
  std::cout << name << " takes the memory it answers with as its own at its next poll\n";
  return 0;
}

}  // namespace

CLI::App* AddTerminalsCommands(CLI::App& app, TerminalsOptions& options) {
  CLI::App* terminals = app.add_subcommand(
      "terminals", "a terminal that moved, was renamed or was replaced");
  terminals->require_subcommand(1, 1);
  CLI::App* move = terminals->add_subcommand(
      "move", "OLD is NEW from now on: NEW continues OLD's history and card state");
  move->add_option("OLD", options.from, "the name the store knows it by")->required();
  move->add_option("NEW", options.to, "its name in the configuration now")->required();
  CLI::App* accept = terminals->add_subcommand(
      "accept", "NAME was replaced by a terminal holding another's memory: take it as NAME's");
  accept->add_option("NAME", options.from, "the terminal")->required();
  for (CLI::App* command : {terminals, move, accept}) command->fallthrough();
  return terminals;
}

int RunTerminals(const CLI::App& terminals, const TerminalsOptions& options,
                 const CollectorConfig& config) {
  const std::unique_ptr<Store> store = OpenStore(config.database);
  if (terminals.got_subcommand("move")) return Move(options, config, *store);
  return Accept(options, config, *store);
}

}  // namespace tallygate::collector
