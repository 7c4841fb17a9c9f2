#include "collector/web/terminal_view.h"

#include <map>

#include "collector/store/store.h"

namespace tallygate::collector::web {
namespace {

TerminalView View(TerminalState state, bool configured, std::chrono::seconds interval,
                  UtcTime now) {
  TerminalView view;
  view.configured = configured;
  view.poll_interval = interval;
  const auto limit = 3 * interval;
  if (!state.last_poll) {
    view.answering = Answering::kNeverPolled;
  } else if (state.last_outcome == Outcome::kBusy) {
    view.answering = Answering::kBusy;
  } else if (state.last_outcome == Outcome::kWrongTerminal) {
    view.answering = Answering::kWrongTerminal;
  } else if (!state.failing_since) {
    view.answering = Answering::kAnswering;
  } else {
    view.answering = now - *state.failing_since >= limit ? Answering::kUnreachable
                                                         : Answering::kBackingOff;
  }
  const std::optional<UtcTime> answered =
      state.last_success ? state.last_success : state.failing_since;
  // A terminal answering with nothing new has its success written only
  // every kQuietWrite.
  view.stale = configured && answered && now - *answered >= limit + kQuietWrite;
  view.state = std::move(state);
  return view;
}

}  // namespace

const char* AnsweringName(Answering answering) {
  switch (answering) {
    case Answering::kNeverPolled: return "never-polled";
    case Answering::kAnswering: return "answering";
    case Answering::kBackingOff: return "backing-off";
    case Answering::kUnreachable: return "unreachable";
    case Answering::kBusy: return "busy";
    case Answering::kWrongTerminal: return "wrong-terminal";
  }
  return "";
}

std::vector<TerminalView> ViewTerminals(const std::vector<TerminalState>& states,
                                        const CollectorConfig& config, UtcTime now) {
  std::map<std::string, const TerminalState*> stored;
  for (const TerminalState& state : states) stored[state.info.name] = &state;
  std::vector<TerminalView> views;
  for (const TerminalConfig& terminal : config.terminals) {
    TerminalState state;
    if (auto found = stored.find(terminal.name); found != stored.end()) {
      state = *found->second;
      stored.erase(found);
    } else {
      state.info = {terminal.name, terminal.EndpointText(), terminal.address, terminal.time_zone};
    }
    views.push_back(View(std::move(state), true, terminal.poll_interval, now));
  }
  for (const TerminalState& state : states) {
    if (stored.count(state.info.name) != 0) {
      views.push_back(View(state, false, config.poll_interval, now));
    }
  }
  return views;
}

}  // namespace tallygate::collector::web
