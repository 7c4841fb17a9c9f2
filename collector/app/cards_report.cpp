#include "collector/app/cards_report.h"

#include <algorithm>

#include "collector/store/time_text.h"
#include "collector/store/value_text.h"

namespace tallygate::collector {
namespace {

std::string CardName(uint32_t card) { return CardHex(card) + " (" + std::to_string(card) + ")"; }

std::string EntryLine(const char* what, uint32_t card, const std::string& staff,
                      const std::string& name) {
  std::string label = what;
  label.resize(8, ' ');
  return "  " + label + CardName(card) + "  staff " + staff + "  \"" + name + "\"\n";
}

std::string Count(size_t count, const char* what) { return std::to_string(count) + " " + what; }

template <class Entries>
bool Holds(const Entries& entries, uint32_t card) {
  return std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.card == card; });
}

// Where `card` stands on the plan's terminal; empty when it is not there
// and need not be.
std::string CardState(const TerminalPlan& plan, uint32_t card) {
  if (Holds(plan.add, card)) {
    return plan.list_known ? "to be enrolled" : "to be enrolled (the list was never collected)";
  }
  if (std::find(plan.in_place.begin(), plan.in_place.end(), card) != plan.in_place.end()) {
    return "in place";
  }
  if (Holds(plan.rewrite, card)) return "on the list, to be written again";
  if (Holds(plan.remove, card)) return "on the list, to be removed";
  if (Holds(plan.unknown, card)) return "on the list, enrolled by hand: nobody asked for it";
  return "";
}

}  // namespace

std::string PlanText(std::span<const TerminalPlan> plans) {
  std::string text;
  for (const TerminalPlan& plan : plans) {
    text += plan.terminal + ": " + Count(plan.add.size(), "to add") + ", " +
            Count(plan.remove.size(), "to remove") + ", " +
            Count(plan.rewrite.size(), "to rewrite") +
            (plan.list_known ? "" : " (its card list was never collected)") + "\n";
    for (const WantedEntry& e : plan.add) text += EntryLine("add", e.card, e.staff, e.name);
    for (const CardEntry& e : plan.remove) text += EntryLine("remove", e.card, e.staff, e.name);
    for (const WantedEntry& e : plan.rewrite) text += EntryLine("rewrite", e.card, e.staff, e.name);
    for (const CardEntry& e : plan.unknown) text += EntryLine("unknown", e.card, e.staff, e.name);
  }
  return text;
}

std::string AuditLine(const CardAudit& audit) {
  return UtcTimeText(audit.when) + " " + audit.by + " " + CardActionName(audit.action) + " " +
         CardName(audit.card) + ": " + audit.what + "\n";
}

std::string CardText(uint32_t card, const std::optional<Cardholder>& holder,
                     std::span<const TerminalPlan> plans, std::span<const CardOutcome> outcomes,
                     std::span<const CardAudit> audits, std::span<const CardOutcome> history) {
  std::string text = "card       " + CardName(card) + "\n";
  if (!holder) {
    text += "holder     none\n";
  } else {
    const auto day = [](const std::optional<LocalDay>& d) { return d ? DayText(*d) : "-"; };
    text += "staff      " + holder->staff + "\nname       " + holder->name + "\nterminals  " +
            WhereText(holder->where) + "\nvalid      " + day(holder->valid_from) + " to " +
            day(holder->valid_until) + "\n";
    if (holder->revoked) text += "revoked    " + UtcTimeText(*holder->revoked) + "\n";
  }
  for (const TerminalPlan& plan : plans) {
    std::string state = CardState(plan, card);
    for (const CardOutcome& outcome : outcomes) {
      if (outcome.terminal != plan.terminal) continue;
      state += (state.empty() ? "" : "; ") + std::string(CardChangeName(outcome.change)) + " " +
               (outcome.error.empty() ? "done " : "failed ") + UtcTimeText(outcome.at) +
               (outcome.error.empty() ? "" : ": " + outcome.error);
    }
    if (!state.empty()) text += "  " + plan.terminal + ": " + state + "\n";
  }
  for (const CardAudit& audit : audits) text += "  " + AuditLine(audit);
  if (!history.empty()) text += "carried out\n";
  for (const CardOutcome& outcome : history) {
    text += "  " + UtcTimeText(outcome.at) + " " + outcome.terminal + ": " +
            CardChangeName(outcome.change) +
            (outcome.error.empty() ? " done" : " failed: " + outcome.error) + "\n";
  }
  return text;
}

}  // namespace tallygate::collector
