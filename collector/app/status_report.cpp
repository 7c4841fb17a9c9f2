#include "collector/app/status_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "collector/base/time_text.h"

namespace tallygate::collector {
namespace {

std::string When(const std::optional<UtcTime>& time) { return time ? UtcTimeText(*time) : "-"; }

std::string PolledBy(const std::optional<std::string>& collector) {
  if (!collector) return "-";
  return collector->empty() ? "(unnamed)" : *collector;
}

}  // namespace

std::string PendingText(const PendingCard& change) {
  std::string text = change.terminal + ": card " + std::to_string(change.card) + " " +
                     CardChangeName(change.change) +
                     (change.reason.empty() ? "" : " (" + change.reason + ")") + " pending since " +
                     UtcTimeText(change.since);
  if (change.change == CardChange::kRemove) text += ": the card may still open this terminal";
  if (!change.error.empty()) text += "; last try " + When(change.tried) + ": " + change.error;
  return text;
}

std::string StatusTable(const std::vector<TerminalState>& states,
                        const std::vector<PendingCard>& pending) {
  // Which collector polls each is said when collectors share the store.
  const bool shared = std::any_of(states.begin(), states.end(),
                                  [](const TerminalState& state) { return state.polled_by; });
  std::vector<std::string> header = {"TERMINAL",    "ENDPOINT",     "LAST POLL",
                                     "LAST SUCCESS", "LAST OUTCOME", "ON TERMINAL",
                                     "STORED",      "BACKOFF UNTIL", "LAST ERROR"};
  if (shared) header.insert(header.begin() + 2, "POLLED BY");
  std::vector<std::vector<std::string>> rows = {header};
  for (const TerminalState& state : states) {
    rows.push_back({state.info.name, state.info.endpoint + " #" + std::to_string(state.info.address),
                    When(state.last_poll), When(state.last_success),
                    state.last_outcome ? OutcomeName(*state.last_outcome) : "-",
                    state.count ? std::to_string(*state.count) : "-",
                    std::to_string(state.punches), When(state.backoff_until),
                    state.last_error.empty() ? "-" : state.last_error});
    if (shared) rows.back().insert(rows.back().begin() + 2, PolledBy(state.polled_by));
  }
  std::vector<size_t> width(header.size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i + 1 < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  std::string out;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      out += row[i];
      if (i + 1 < row.size()) out += std::string(width[i] - row[i].size() + 2, ' ');
    }
    out += '\n';
  }
  if (!pending.empty()) out += "\ncard changes pending: " + std::to_string(pending.size()) + "\n";
  for (const PendingCard& change : pending) out += PendingText(change) + "\n";
  return out;
}

std::string StatusJson(const std::vector<TerminalState>& states,
                       const std::vector<PendingCard>& pending) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  auto when = [](const std::optional<UtcTime>& time) {
    return time ? nlohmann::ordered_json(UtcTimeText(*time)) : nlohmann::ordered_json(nullptr);
  };
  for (const TerminalState& state : states) {
    nlohmann::ordered_json cards = nlohmann::ordered_json::array();
    for (const PendingCard& change : pending) {
      if (change.terminal != state.info.name) continue;
      cards.push_back({{"card", change.card},
                       {"change", CardChangeName(change.change)},
                       {"reason", change.reason},
                       {"since", UtcTimeText(change.since)},
                       {"may_still_open", change.change == CardChange::kRemove},
                       {"tried", when(change.tried)},
                       {"error", change.error}});
    }
    list.push_back({{"terminal", state.info.name},
                    {"endpoint", state.info.endpoint},
                    {"address", state.info.address},
                    {"time_zone", state.info.time_zone},
                    {"polled_by", state.polled_by ? nlohmann::ordered_json(*state.polled_by)
                                                  : nullptr},
                    {"last_poll", when(state.last_poll)},
                    {"last_success", when(state.last_success)},
                    {"last_outcome", state.last_outcome
                                         ? nlohmann::ordered_json(OutcomeName(*state.last_outcome))
                                         : nullptr},
                    {"count", state.count ? nlohmann::ordered_json(*state.count) : nullptr},
                    {"stored_positions", state.mark.positions},
                    {"punches", state.punches},
                    {"backoff_until", when(state.backoff_until)},
                    {"last_error", state.last_error},
                    {"cards_pending", std::move(cards)}});
  }
  return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace tallygate::collector
