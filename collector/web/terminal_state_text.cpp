#include "collector/web/terminal_state_text.h"

#include "collector/web/html.h"

namespace tallygate::collector::web {

std::string StateHtml(const TerminalView& view, Language language) {
  const TerminalState& state = view.state;
  std::string text;
  switch (view.answering) {
    case Answering::kNeverPolled: text = Caption(language, Msg::kNeverPolled); break;
    case Answering::kAnswering: text = Caption(language, Msg::kAnswering); break;
    case Answering::kBackingOff:
      text = Caption(language, Msg::kBackingOffUntil, {TimeHtml(state.backoff_until)});
      break;
    case Answering::kUnreachable:
      text = Caption(language, Msg::kUnreachableSince, {TimeHtml(state.failing_since)});
      break;
    case Answering::kBusy:
      text = Caption(language, Msg::kBusySince, {TimeHtml(state.last_poll)});
      break;
    case Answering::kWrongTerminal:
      text = Caption(language, Msg::kAnswersWithMemoryOf,
                     {Escape(MemoryOfFromText(state.info.name, state.last_error).value_or("?"))});
      break;
  }
  if (!view.configured) text += " (" + Caption(language, Msg::kNotConfigured) + ")";
  return text;
}

std::string PolledByHtml(const TerminalState& state, Language language) {
  if (!state.polled_by) return "—";
  if (state.polled_by->empty()) return Caption(language, Msg::kUnnamedCollector);
  return Escape(*state.polled_by);
}

std::string OutcomeHtml(Outcome outcome, Language language) {
  switch (outcome) {
    case Outcome::kComplete: return Caption(language, Msg::kComplete);
    case Outcome::kPartial: return Caption(language, Msg::kPartial);
    case Outcome::kUnreachable: return Caption(language, Msg::kUnreachable);
    case Outcome::kStoreFailed: return Caption(language, Msg::kStoreFailed);
    case Outcome::kCleared: return Caption(language, Msg::kCleared);
    case Outcome::kBusy: return Caption(language, Msg::kBusy);
    case Outcome::kClaimedElsewhere: return Caption(language, Msg::kClaimedElsewhere);
    case Outcome::kWrongTerminal: return Caption(language, Msg::kWrongTerminal);
  }
  return {};
}

}  // namespace tallygate::collector::web
