// A terminal's state and a poll's outcome as the pages say them.
#ifndef TALLYGATE_COLLECTOR_WEB_TERMINAL_STATE_TEXT_H_
#define TALLYGATE_COLLECTOR_WEB_TERMINAL_STATE_TEXT_H_

#include <string>

#include "collector/web/messages.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {

// "answering", "backing off until <time>", "unreachable since <time>",
// "never polled", and "no longer configured" for a terminal only the
// store knows; HTML.
std::string StateHtml(const TerminalView& view, Language language);

// The collector whose claim it is ("HOST:PID"), when collectors share the
// store; "—" while none holds it; HTML.
std::string PolledByHtml(const TerminalState& state, Language language);

// "complete", "partial", ... in `language`; HTML.
std::string OutcomeHtml(Outcome outcome, Language language);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_TERMINAL_STATE_TEXT_H_
