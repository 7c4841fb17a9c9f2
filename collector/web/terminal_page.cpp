// /terminals/NAME: the terminal's state, its punches per hour, its card
// changes still pending,
// its recent collections and its card list, with a "poll now" button for
// an admin (POST /terminals/NAME/poll, which asks the fleet and comes back
// here with a flash).
#include <algorithm>

#include "collector/base/value_text.h"
#include "collector/web/card_state_text.h"
#include "collector/web/hourly_chart.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/terminal_state_text.h"

namespace tallygate::collector::web {
namespace {

constexpr int kRecentCollections = 20;

struct TerminalFacts {
  TerminalView view;
  std::vector<Collection> collections;
  CardList cards;
  std::vector<PendingCard> pending;
};

std::optional<TerminalFacts> Facts(Dashboard& dashboard, const std::string& name) {
  std::vector<TerminalView> views = CurrentTerminals(dashboard);
  const auto found = std::find_if(views.begin(), views.end(), [&](const TerminalView& view) {
    return view.state.info.name == name;
  });
  if (found == views.end()) return std::nullopt;
  TerminalFacts facts{std::move(*found), {}, {}, {}};
  dashboard.WithStore([&](Store& store) {
    facts.collections = store.Collections(name, kRecentCollections);
    facts.cards = store.Cards(name);
    facts.pending = store.PendingCards(name, std::nullopt);
  });
  return facts;
}

std::string FactList(const TerminalView& view, Language language) {
  const TerminalState& state = view.state;
  std::string html = "<dl class=\"facts\">\n";
  for (const auto& [caption, value] : std::vector<std::pair<Msg, std::string>>{
           {Msg::kEndpoint, Escape(state.info.endpoint)},
           {Msg::kAddress, std::to_string(state.info.address)},
           {Msg::kTimeZone, Escape(state.info.time_zone)},
           {Msg::kState, StateHtml(view, language)},
           {Msg::kLastPoll, TimeHtml(state.last_poll)},
           {Msg::kLastSuccess, TimeHtml(state.last_success)},
           {Msg::kOnTerminal, state.count ? std::to_string(*state.count) : "—"},
           {Msg::kStored, std::to_string(state.punches)},
           {Msg::kLastError, state.last_error.empty() ? "—" : Escape(state.last_error)}}) {
    html += "<dt>" + Caption(language, caption) + "</dt><dd>" + value + "</dd>\n";
  }
  return html + "</dl>\n";
}

std::string CollectionRows(const std::vector<Collection>& collections, Language language) {
  std::string rows;
  for (const Collection& collection : collections) {
    rows += "<tr>" + Cell(TimeHtml(collection.started)) +
            Cell(OutcomeHtml(collection.outcome, language)) +
            Cell(std::to_string(collection.punches_added)) +
            Cell(std::to_string(collection.pages_lost)) + Cell(Escape(collection.error), "error") +
            "</tr>\n";
  }
  return rows;
}

std::string CardRows(const CardList& cards) {
  std::string rows;
  for (const CardEntry& card : cards.cards) {
    rows += "<tr>" + Cell(std::to_string(card.position)) + Cell(CardHex(card.card), "card-hex") +
            Cell(std::to_string(card.card), "card") + Cell(Escape(card.staff), "staff") +
            Cell(Escape(card.name), "name") + "</tr>\n";
  }
  return rows;
}

std::string PendingRows(const std::vector<PendingCard>& pending, Language language) {
  std::string rows;
  for (const PendingCard& change : pending) {
    rows += "<tr data-card=\"" + std::to_string(change.card) + "\" data-change=\"" +
            CardChangeName(change.change) + "\">" +
            Cell("<a href=\"/cardholders/" + std::to_string(change.card) + "\">" +
                     CardHex(change.card) + "</a>",
                 "card-hex") +
            Cell(ChangeHtml(change.change, language), "change") + Cell(Escape(change.reason)) +
            Cell(TimeHtml(change.since)) + Cell(Escape(change.error), "error") + "</tr>\n";
  }
  return rows;
}

std::string Body(Dashboard& dashboard, const TerminalFacts& facts, const httplib::Request& request,
                 Language language) {
  const WriteAccess& access = dashboard.access();
  const std::string& name = facts.view.state.info.name;
  std::string body;
  if (const std::optional<std::string> polled = Param(request, "polled")) {
    body += *polled == "1" ? "<p class=\"flash\">" + Caption(language, Msg::kPollRequested) + "</p>\n"
                           : "<p class=\"error\">" +
                                 Caption(language, Msg::kPollNotHere, {Escape(name)}) + "</p>\n";
  }
  body += FactList(facts.view, language);
  if (access.AdminOf(request)) {
    body += "<form class=\"poll-now\" method=\"post\" action=\"/terminals/" +
            Escape(UrlEncoded(name)) + "/poll\">" + access.FormTokenInput(request) +
            "<button type=\"submit\">" + Caption(language, Msg::kPollNow) + "</button></form>\n";
  }
  body += HourlyChartSection(dashboard, language, name, facts.view.state.info.time_zone);
  body += "<h2>" + Caption(language, Msg::kPendingChanges) + "</h2>\n";
  if (facts.pending.empty()) body += "<p>" + Caption(language, Msg::kNoPending) + "</p>\n";
  body += Table("pending", language, {Msg::kCardHex, Msg::kChange, Msg::kReason, Msg::kSince, Msg::kError},
                PendingRows(facts.pending, language));
  body += "<h2>" + Caption(language, Msg::kCollections) + "</h2>\n";
  if (facts.collections.empty()) {
    body += "<p>" + Caption(language, Msg::kNoCollections) + "</p>\n";
  }
  body += Table("collections", language,
                {Msg::kStarted, Msg::kOutcome, Msg::kAdded, Msg::kPagesLost, Msg::kError},
                CollectionRows(facts.collections, language));
  body += "<h2>" + Caption(language, Msg::kCardList) + "</h2>\n<p>" +
          (facts.cards.collected
               ? Caption(language, Msg::kCardsCollected, {TimeHtml(facts.cards.collected)})
               : Caption(language, Msg::kCardsNever)) +
          "</p>\n";
  body += Table("cards", language, {Msg::kPosition, Msg::kCardHex, Msg::kCard, Msg::kStaff, Msg::kHolder},
                CardRows(facts.cards));
  return body;
}

}  // namespace

void AddTerminalPage(httplib::Server& server, Dashboard& dashboard) {
  server.Get(R"(/terminals/(.+))", Guarded([&dashboard](const httplib::Request& request,
                                                        httplib::Response& response) {
    const Language language = LanguageOf(request);
    const std::string name = request.matches[1];
    const std::optional<TerminalFacts> facts = Facts(dashboard, name);
    if (!facts) {
      SendError(request, response, 404, Fill(language, Msg::kNoSuchTerminal, {name}),
                Msg::kNavTerminals);
      return;
    }
    SendPage(response, 200,
             {language, Msg::kNavTerminals, Escape(name),
              Body(dashboard, *facts, request, language)});
  }));
  server.Post(R"(/terminals/(.+)/poll)", AdminOnly(dashboard.access(), [&dashboard](
                                                       const httplib::Request& request,
                                                       httplib::Response& response,
                                                       const std::string&) {
    const std::string name = request.matches[1];
    const bool asked = dashboard.PollNow(name);
    response.set_redirect("/terminals/" + UrlEncoded(name) + "?polled=" + (asked ? "1" : "0"),
                          303);
  }));
}

}  // namespace tallygate::collector::web
