// /terminals: one row per terminal, the stale ones marked, and the fleet's
// punches per hour; reloaded every 30 seconds.
#include <algorithm>

#include "collector/base/time_text.h"
#include "collector/web/hourly_chart.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/sinks_panel.h"
#include "collector/web/terminal_state_text.h"

namespace tallygate::collector::web {
namespace {

constexpr int kRefreshSeconds = 30;

// `shared`: collectors share the store, and the row says which polls it.
std::string Row(const TerminalView& view, Language language, bool shared) {
  const TerminalState& state = view.state;
  const std::string name = Escape(state.info.name);
  std::string row = "<tr data-terminal=\"" + name + "\" data-state=\"" +
                    AnsweringName(view.answering) + "\"" + (view.stale ? " class=\"stale\"" : "") +
                    ">";
  std::vector<std::string> cells = {
      "<a href=\"/terminals/" + Escape(UrlEncoded(state.info.name)) + "\">" + name + "</a>",
      Escape(state.info.endpoint) + " #" + std::to_string(state.info.address),
      StateHtml(view, language), TimeHtml(state.last_poll), TimeHtml(state.last_success),
      state.count ? std::to_string(*state.count) : "—", std::to_string(state.punches)};
  if (shared) cells.insert(cells.begin() + 3, PolledByHtml(state, language));
  for (const std::string& cell : cells) row += Cell(cell);
  return row + Cell(Escape(state.last_error), "error") + "</tr>\n";
}

}  // namespace

std::vector<TerminalView> CurrentTerminals(Dashboard& dashboard) {
  const std::vector<TerminalState> states =
      dashboard.WithStore([](PunchReader& store) { return store.States(); });
  const UtcTime now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  return ViewTerminals(states, *dashboard.Config(), now);
}

void AddTerminalsPage(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/terminals", Guarded([&dashboard](const httplib::Request& request,
                                                httplib::Response& response) {
    const Language language = LanguageOf(request);
    const std::vector<TerminalView> views = CurrentTerminals(dashboard);
    const bool shared = std::any_of(views.begin(), views.end(), [](const TerminalView& view) {
      return view.state.polled_by.has_value();
    });
    std::string rows;
    for (const TerminalView& view : views) rows += Row(view, language, shared);
    std::vector<Msg> headings = {Msg::kName,        Msg::kEndpoint,   Msg::kState,
                                 Msg::kLastPoll,    Msg::kLastSuccess, Msg::kOnTerminal,
                                 Msg::kStored,      Msg::kLastError};
    if (shared) headings.insert(headings.begin() + 3, Msg::kPolledBy);
    std::string body = "<p class=\"legend\">" + Caption(language, Msg::kStaleLegend) + "</p>\n" +
                       Table("terminals", language, headings, rows) +
                       HourlyChartSection(dashboard, language, "", "");
    const auto config = dashboard.Config();
    const UtcTime now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    body += SinksPanel(
        dashboard.WithStore([&](Store& store) { return SinkReports(store, store, *config, now); }),
        language);
    PageFrame frame{language, Msg::kNavTerminals, "", std::move(body), kRefreshSeconds};
    SendPage(response, 200, frame);
  }));
}

}  // namespace tallygate::collector::web
