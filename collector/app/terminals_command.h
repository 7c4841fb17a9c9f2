// `tallygate-collector terminals move OLD NEW`: the terminal stored as OLD
// is NEW from now on (it moved to another address under a new name, or was
// renamed): NEW continues from OLD's mark, with OLD's punches, polls, card
// list and card work; OLD leaves the store. Done once NEW's address answers
// with OLD's memory and OLD is no longer configured.
// `tallygate-collector terminals accept NAME`: NAME's terminal was replaced
// by one that holds the memory of another terminal in the store: at its next
// poll NAME takes that memory as its own from where the store has it (what
// was stored stays under the other terminal; nothing is stored twice).
#ifndef TALLYGATE_COLLECTOR_APP_TERMINALS_COMMAND_H_
#define TALLYGATE_COLLECTOR_APP_TERMINALS_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>

#include "collector/config/config.h"

namespace tallygate::collector {

struct TerminalsOptions {
  std::string from;  // move: OLD; accept: NAME
  std::string to;    // move: NEW
};

// Adds `terminals` to `app`, its values going to `options`.
CLI::App* AddTerminalsCommands(CLI::App& app, TerminalsOptions& options);

// Runs it on the store the configuration names. Returns the exit status: 0
// done, 2 refused (a name unknown or configured the wrong way, NEW with
// punches of its own, OLD polled by a running collector), nothing changed;
// throws StoreError.
int RunTerminals(const CLI::App& terminals, const TerminalsOptions& options,
                 const CollectorConfig& config);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_TERMINALS_COMMAND_H_
