// `tallygate-collector cards ...`: the card lists the company wants, kept in
// the store.
//
//   cards import FILE.csv [--merge] [--dry-run]
//                 the whole list (holders not in the file are revoked), or
//                 with --merge changes to it; --dry-run prints each
//                 terminal's plan and changes nothing
//   cards add CARD --staff N --name TEXT --terminals LIST
//             [--valid-from DAY] [--valid-until DAY]
//                 adds the holder, or replaces the card's holder
//   cards remove CARD   revokes the card on every terminal
//   cards show CARD     the holder, the card on each terminal, its audit
//
// A file with a bad line is refused whole: each bad line is told as
// "FILE:LINE: what is wrong" on standard error, and nothing changes.
#ifndef TALLYGATE_COLLECTOR_APP_CARDS_COMMAND_H_
#define TALLYGATE_COLLECTOR_APP_CARDS_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>

#include "collector/config/config.h"

namespace tallygate::collector {

struct CardsOptions {
  std::string file;
  bool merge = false;
  bool dry_run = false;
  std::string card, staff, name, terminals, valid_from, valid_until;
};

// Adds `cards` and its commands to `app`, their values going to `options`.
CLI::App* AddCardsCommands(CLI::App& app, CardsOptions& options);

// Runs the `cards` command parsed, on the store the configuration names
// (opened only once the input is found good). Returns the exit status: 0
// done, 2 a bad file or value (nothing changed); throws StoreError.
int RunCards(const CLI::App& cards, const CardsOptions& options, const CollectorConfig& config);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_CARDS_COMMAND_H_
