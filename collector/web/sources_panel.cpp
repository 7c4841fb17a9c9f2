#include "collector/web/sources_panel.h"

#include "collector/base/log.h"
#include "collector/base/time_text.h"
#include "collector/base/time_zone.h"
#include "collector/cards/card_terminal.h"
#include "collector/holders/holder_source.h"
#include "collector/holders/holder_sources.h"
#include "collector/web/html.h"
#include "collector/web/responses.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

Msg OutcomeCaption(SourceRead::Outcome outcome) {
  switch (outcome) {
    case SourceRead::Outcome::kMade: return Msg::kSourceMade;
    case SourceRead::Outcome::kRefused: return Msg::kSourceRefused;
    case SourceRead::Outcome::kFailed: return Msg::kSourceFailed;
    case SourceRead::Outcome::kHeld: return Msg::kSourceHeld;
  }
  return Msg::kSourceFailed;
}

std::string Row(const SourceRead& read, Language language) {
  const bool bad = read.outcome != SourceRead::Outcome::kMade;
  std::string state = Caption(language, OutcomeCaption(read.outcome));
  if (read.outcome == SourceRead::Outcome::kMade) {
    state += "<br><small>" +
             Caption(language, Msg::kReadCounts,
                     {std::to_string(read.employees), std::to_string(read.added),
                      std::to_string(read.changed), std::to_string(read.revoked)}) +
             "</small>";
  }
  // What the HR system said is its own text: escaped like any value.
  if (!read.problems.empty()) {
    state += "<ul class=\"problems\">";
    for (const std::string& problem : read.problems) state += "<li>" + Escape(problem) + "</li>";
    state += "</ul>";
  }
  return "<tr data-source=\"" + Escape(read.source) + "\">" + Cell(Escape(read.source)) +
         Cell(UtcTimeText(read.at)) +
         Cell(read.last_success ? UtcTimeText(*read.last_success) : "—") +
         Cell(state, bad ? "error" : "") + "</tr>\n";
}

std::string HeldList(const SourceRead& read, const httplib::Request& request,
                     const WriteAccess& access, Language language) {
  if (read.outcome != SourceRead::Outcome::kHeld) return {};
  std::string rows;
  for (const HeldRevocation& each : read.held) {
    rows += "<tr>" + Cell(std::to_string(each.card)) + Cell(Escape(each.staff)) +
            Cell(Escape(each.name)) + "</tr>\n";
  }
  std::string html = "<h3>" +
                     Caption(language, Msg::kHeldRevocations,
                             {Escape(read.source), std::to_string(read.held.size()),
                              std::to_string(read.revoke_limit)}) +
                     "</h3>\n" +
                     Table("held-" + Escape(read.source), language,
                           {Msg::kCard, Msg::kStaff, Msg::kHolder}, rows);
  if (access.AdminOf(request)) {
    html += "<form class=\"confirm-read\" method=\"post\" action=\"/cardholders/sources/" +
            Escape(UrlEncoded(read.source)) + "/confirm\">" + access.FormTokenInput(request) +
            "<button id=\"confirm-" + Escape(read.source) + "\" type=\"submit\">" +
            Caption(language, Msg::kConfirmRead) + "</button></form>\n";
  }
  return html;
}

std::string Skipped(const SourceRead& read, Language language) {
  if (read.skipped.empty()) return {};
  std::string html = "<h3>" + Caption(language, Msg::kSkippedEmployees, {Escape(read.source)}) +
                     "</h3>\n<ul class=\"skipped\">";
  for (const std::string& each : read.skipped) html += "<li>" + Escape(each) + "</li>";
  return html + "</ul>\n";
}

}  // namespace

std::string SourcesPanel(Dashboard& dashboard, const httplib::Request& request,
                         Language language) {
  if (dashboard.Config()->holder_sources.empty()) return {};
  const std::vector<SourceRead> reads =
      dashboard.WithStore([](CardBook& store) { return store.SourceReads(); });
  std::string rows, lists;
  for (const SourceRead& read : reads) {
    rows += Row(read, language);
    lists += HeldList(read, request, dashboard.access(), language) + Skipped(read, language);
  }
  std::string html = "<h2>" + Caption(language, Msg::kHolderSources) + "</h2>\n";
  if (Param(request, "confirmed")) {
    html += "<p class=\"flash\">" + Caption(language, Msg::kReadConfirmed) + "</p>\n";
  }
  return html +
         Table("holder-sources", language,
               {Msg::kSource, Msg::kLastRead, Msg::kLastSuccess, Msg::kState}, rows) +
         lists;
}

void AddSourceConfirm(httplib::Server& server, Dashboard& dashboard) {
  const WriteAccess& access = dashboard.access();
  server.Post(R"(/cardholders/sources/([^/]+)/confirm)",
              AdminOnly(access, [&dashboard](const httplib::Request& request,
                                            httplib::Response& response, const std::string& by) {
                const auto config = dashboard.Config();
                const std::string name = request.matches[1];
                for (const HolderSourceConfig& source : config->holder_sources) {
                  if (source.name != name) continue;
                  const std::vector<CardTerminal> terminals = CardTerminals(*config);
                  // Throws InputError (nothing held, or other revocations now):
                  // its message is the answer.
                  const SourceRun run = dashboard.WithStore([&](CardBook& store) {
                    return RunHolderSource(source, store, terminals, Today(HostTimeZone()),
                                           SourceMode::kConfirm, {});
                  });
                  if (run.read.outcome != SourceRead::Outcome::kMade) {
                    throw InputError("holder source " + name + ": the read was " +
                                     SourceOutcomeName(run.read.outcome) +
                                     (run.read.problems.empty() ? "" : ": " + run.read.problems.front()));
                  }
                  Log(LogLevel::kInfo, "holder source " + name + ": held revocations confirmed by " + by);
                  response.set_redirect("/cardholders?confirmed=1", 303);
                  return;
                }
                throw InputError("no [[holders_from]] named \"" + name + "\"");
              }));
}

}  // namespace tallygate::collector::web
