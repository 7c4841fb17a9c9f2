#include "collector/app/cards_command.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "collector/app/cards_report.h"
#include "collector/base/time_zone.h"
#include "collector/cards/card_changes.h"
#include "collector/cards/card_plan.h"
#include "collector/cards/holder_check.h"
#include "collector/cards/holder_csv.h"
#include "collector/cards/wanted_cards.h"
#include "collector/base/field_text.h"
#include "collector/store/store.h"
#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

constexpr int kBadInput = 2;
constexpr int kAuditShown = 20;
// Who the audit says made a change from the command line.
constexpr const char* kCommandLine = "cli";

int Refuse(const std::string& command, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) {
    std::cerr << "tallygate-collector: cards " << command << ": " << problem << "\n";
  }
  return kBadInput;
}

// Each configured terminal's plan for `holders`, from its list as last
// collected and its own date.
std::vector<TerminalPlan> Plans(CardBook& store, const CardFleet& fleet,
                                std::span<const Cardholder> holders) {
  std::vector<TerminalPlan> plans;
  for (size_t i = 0; i < fleet.terminals.size(); ++i) {
    const CardTerminal& terminal = fleet.terminals[i];
    plans.push_back(PlanTerminal(holders, {terminal, fleet.today[i], store.Cards(terminal.name)}));
  }
  return plans;
}

// Keeps each terminal's pending changes after a change of the wanted lists,
// as its worker would: so that status and the terminals' pages show them
// (and what a revoked card may still open) at once, even while no service
// runs. The service works them out again and keeps their times.
void KeepPending(CardBook& store, const CollectorConfig& config) {
  const std::vector<Cardholder> holders = store.Cardholders();
  const CardFleet fleet = CurrentCardFleet(config);
  const std::vector<TerminalPlan> plans = Plans(store, fleet, holders);
  for (size_t i = 0; i < plans.size(); ++i) {
    if (!config.terminals[i].card_list) continue;
    store.SetPendingCards(plans[i].terminal,
                          PendingOf(plans[i], holders, fleet.today[i], UtcNow()));
  }
}

std::string Summary(const std::vector<CardAudit>& audits) {
  size_t counts[3] = {};
  for (const CardAudit& audit : audits) ++counts[static_cast<int>(audit.action)];
  return std::to_string(counts[0]) + " added, " + std::to_string(counts[1]) + " changed, " +
         std::to_string(counts[2]) + " revoked";
}

int Import(const CardsOptions& options, const CollectorConfig& config) {
  std::ifstream in(options.file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    std::cerr << "tallygate-collector: cards import: cannot read " << options.file << "\n";
    return kBadInput;
  }
  const HolderFile file = ReadHolderCsv(text.str(), CardTerminals(config));
  for (const LineProblem& problem : file.problems) {
    std::cerr << options.file << ":" << problem.line << ": " << problem.what << "\n";
  }
  if (!file.problems.empty()) return kBadInput;
  const CardholderChanges changes{file.holders, {}, !options.merge};
  const std::unique_ptr<Store> store = OpenStore(config.database);
  const UtcTime now = UtcNow();
  if (options.dry_run) {
    const std::vector<Cardholder> before = store->Cardholders();
    const ChangeResult checked = CheckCardholderChanges(before, CardTerminals(config), changes, now);
    if (checked.refused()) return Refuse("import", checked.problems);
    std::cout << "dry run, nothing changed: " << Summary(checked.audits) << "\n"
              << PlanText(
                     Plans(*store, CurrentCardFleet(config), AfterChanges(before, changes, now)));
    return 0;
  }
  const std::string by = std::filesystem::absolute(options.file).string();
  const ChangeResult result = MakeCardholderChanges(*store, CardTerminals(config), changes, by, now);
  if (result.refused()) return Refuse("import", result.problems);
  KeepPending(*store, config);
  std::cout << options.file << ": " << Summary(result.audits) << "\n";
  return 0;
}

// The card of the command line, or the reason it is none.
std::optional<uint32_t> Card(const std::string& text, std::vector<std::string>& problems) {
  try {
    return ParseKeptCard(text);
  } catch (const InputError& error) {
    problems.push_back(std::string("card ") + error.what());
    return std::nullopt;
  }
}

std::optional<LocalDay> Day(const std::string& option, const std::string& text,
                            std::vector<std::string>& problems) {
  if (text.empty()) return std::nullopt;
  std::optional<LocalDay> day = ParseDay(text);
  if (!day) problems.push_back(option + " \"" + text + "\" is not a date as YYYY-MM-DD");
  return day;
}

int Change(const std::string& command, const CardholderChanges& changes,
           const CollectorConfig& config) {
  const std::unique_ptr<Store> store = OpenStore(config.database);
  const ChangeResult result =
      MakeCardholderChanges(*store, CardTerminals(config), changes, kCommandLine, UtcNow());
  if (result.refused()) return Refuse(command, result.problems);
  KeepPending(*store, config);
  const std::vector<CardAudit>& audits = result.audits;
  if (audits.empty()) std::cout << "nothing changed: the card lists were already so\n";
  for (const CardAudit& audit : audits) std::cout << AuditLine(audit);
  return 0;
}

int Add(const CardsOptions& options, const CollectorConfig& config) {
  std::vector<std::string> problems;
  Cardholder holder;
  const std::optional<uint32_t> card = Card(options.card, problems);
  holder.staff = TrimmedField(options.staff);
  holder.name = TrimmedField(options.name);
  holder.where = SplitNames(options.terminals);
  holder.valid_from = Day("--valid-from", options.valid_from, problems);
  holder.valid_until = Day("--valid-until", options.valid_until, problems);
  for (std::string& problem : HolderProblems(holder, CardTerminals(config))) {
    problems.push_back(std::move(problem));
  }
  if (!problems.empty()) return Refuse("add", problems);
  holder.card = *card;
  return Change("add", {{holder}, {}, false}, config);
}

int Remove(const CardsOptions& options, const CollectorConfig& config) {
  std::vector<std::string> problems;
  const std::optional<uint32_t> card = Card(options.card, problems);
  if (!card) return Refuse("remove", problems);
  return Change("remove", {{}, {*card}, false}, config);
}

int Show(const CardsOptions& options, const CollectorConfig& config) {
  std::vector<std::string> problems;
  const std::optional<uint32_t> card = Card(options.card, problems);
  if (!card) return Refuse("show", problems);
  const std::unique_ptr<Store> store = OpenStore(config.database);
  const std::optional<Cardholder> holder = store->FindCardholder(*card);
  std::vector<TerminalCard> places;
  std::vector<std::string> by_hand;
  if (holder) {
    places =
        std::move(ReadPlaces(*store, CurrentCardFleet(config), std::span(&*holder, 1)).front());
  } else {
    for (const CardTrace::Listing& listing :
         store->CardTraces(std::span(&*card, 1)).front().lists) {
      if (!listing.entries.empty()) by_hand.push_back(listing.terminal);
    }
  }
  std::cout << CardText(*card, holder, places, by_hand, store->CardOutcomes("", *card),
                        store->CardAudits(*card, kAuditShown),
                        store->CardHistory(*card, kAuditShown));
  return 0;
}

}  // namespace

CLI::App* AddCardsCommands(CLI::App& app, CardsOptions& options) {
  CLI::App* cards = app.add_subcommand("cards", "the card lists the company wants on the terminals");
  cards->require_subcommand(1, 1);
  const char* card_help = "the card: decimal, or hexadecimal as 0x0012D687";
  CLI::App* import = cards->add_subcommand(
      "import", "the cardholders of a CSV file: the whole list, or changes with --merge");
  import->add_option("FILE", options.file, "UTF-8 CSV with a header row")->required();
  import->add_flag("--merge", options.merge, "the file holds changes; other holders stay");
  import->add_flag("--dry-run", options.dry_run, "print each terminal's plan, change nothing");
  CLI::App* add = cards->add_subcommand("add", "add a cardholder, or replace the card's holder");
  add->add_option("CARD", options.card, card_help)->required();
  add->add_option("--staff", options.staff, "staff number, up to 8 digits")->required();
  add->add_option("--name", options.name, "the name, as the terminals show it")->required();
  add->add_option("--terminals", options.terminals,
                  "terminal and group names separated by ';', or '*' for every terminal")
      ->required();
  add->add_option("--valid-from", options.valid_from, "first day, YYYY-MM-DD");
  add->add_option("--valid-until", options.valid_until, "last day, YYYY-MM-DD");
  CLI::App* remove = cards->add_subcommand("remove", "revoke the card on every terminal");
  remove->add_option("CARD", options.card, card_help)->required();
  CLI::App* show = cards->add_subcommand("show", "the card's holder, terminals and audit");
  show->add_option("CARD", options.card, card_help)->required();
  for (CLI::App* command : {cards, import, add, remove, show}) command->fallthrough();
  return cards;
}

int RunCards(const CLI::App& cards, const CardsOptions& options, const CollectorConfig& config) {
  if (cards.got_subcommand("import")) return Import(options, config);
  if (cards.got_subcommand("add")) return Add(options, config);
  if (cards.got_subcommand("remove")) return Remove(options, config);
  return Show(options, config);
}

}  // namespace tallygate::collector
