#include "collector/app/cards_report.h"

#include <algorithm>

#include "collector/base/time_text.h"
#include "collector/base/value_text.h"

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

// Where the card stands on the place's terminal, in words.
std::string PlaceText(const TerminalCard& place) {
  std::string text = CardPlaceName(place.place);
  if (place.place == CardPlace::kUnknown) {
    return text + (place.list_collected
                       ? ": its card list was last read " + UtcTimeText(*place.list_collected) +
                             ", before this change"
                       : ": its card list was never read");
  }
  if (!place.pending) return text;
  const PendingCard& change = *place.pending;
  text += std::string(": ") + CardChangeName(change.change) +
          (change.reason.empty() ? "" : " (" + change.reason + ")") + " since " +
          UtcTimeText(change.since);
  if (place.place == CardPlace::kFailed) {
    text += ", tried " + (change.tried ? UtcTimeText(*change.tried) : "-") + ": " + change.error;
  }
  if (change.change == CardChange::kRemove) text += "; the card may still open this terminal";
  return text;
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
                     std::span<const TerminalCard> places, std::span<const std::string> by_hand,
                     std::span<const CardOutcome> outcomes, std::span<const CardAudit> audits,
                     std::span<const CardOutcome> history) {
  std::string text = "card       " + CardName(card) + "\n";
  if (!holder) {
    text += "holder     none\n";
  } else {
    const auto day = [](const std::optional<LocalDay>& d) { return d ? DayText(*d) : "-"; };
    text += "staff      " + holder->staff + "\nname       " + holder->name + "\nterminals  " +
            WhereText(holder->where) + "\nvalid      " + day(holder->valid_from) + " to " +
            day(holder->valid_until) + "\nkept by    " +
            (holder->owner.empty() ? std::string("hand") : holder->owner) + "\n";
    if (holder->revoked) text += "revoked    " + UtcTimeText(*holder->revoked) + "\n";
  }
  // Each terminal with what is known of the card there, then the last
  // outcome of a change of it there.
  std::vector<std::pair<std::string, std::string>> lines;
  for (const TerminalCard& place : places) lines.emplace_back(place.terminal, PlaceText(place));
  for (const std::string& terminal : by_hand) {
    lines.emplace_back(terminal, "on the list, enrolled by hand: nobody asked for it");
  }
  for (const CardOutcome& outcome : outcomes) {
    const std::string done = std::string(CardChangeName(outcome.change)) + " " +
                             (outcome.error.empty() ? "done " : "failed ") +
                             UtcTimeText(outcome.at) +
                             (outcome.error.empty() ? "" : ": " + outcome.error);
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](const auto& l) { return l.first == outcome.terminal; });
    if (line == lines.end()) {
      lines.emplace_back(outcome.terminal, done);
    } else {
      line->second += "; " + done;
    }
  }
  for (const auto& [terminal, state] : lines) text += "  " + terminal + ": " + state + "\n";
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
