// /cardholders: the wanted card lists searched by name, card or staff
// number, each holder with where its card stands on each terminal;
// /cardholders/CARD: one holder, with the form that changes it and the
// button that revokes it for an admin (POST /cardholders and
// /cardholders/CARD/revoke, which come back to the holder with a flash).
// Each holder shows who keeps it: a person, or the HR system
// (sources_panel.h), whose holders only it changes.
#include "collector/base/value_text.h"
#include "collector/web/card_state_text.h"
#include "collector/web/card_writes.h"
#include "collector/web/holder_input.h"
#include "collector/web/holder_view.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/sources_panel.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kHoldersShown = 100;

std::string HolderLink(uint32_t card) {
  return "<a href=\"/cardholders/" + std::to_string(card) + "\">" + CardHex(card) + "</a>";
}

std::string Places(const HolderView& view, Language language) {
  if (view.terminals.empty() && view.holder.revoked) return Caption(language, Msg::kNoTerminalHolds);
  std::string html = "<ul class=\"places\">";
  for (const TerminalCard& place : view.terminals) {
    html += "<li data-terminal=\"" + Escape(place.terminal) + "\" data-state=\"" +
            CardPlaceName(place.place) + "\">" + Escape(place.terminal) + ": " +
            PlaceHtml(place, language) + "</li>";
  }
  return html + "</ul>";
}

std::string Owner(const Cardholder& holder, Language language) {
  return holder.owner.empty() ? Caption(language, Msg::kByHand) : Escape(holder.owner);
}

std::string HolderRow(const HolderView& view, Language language) {
  const Cardholder& holder = view.holder;
  return "<tr data-card=\"" + std::to_string(holder.card) + "\">" +
         Cell(HolderLink(holder.card), "card-hex") + Cell(std::to_string(holder.card), "card") +
         Cell(Escape(holder.staff), "staff") + Cell(Escape(holder.name), "name") +
         Cell(Owner(holder, language), "owner") + Cell(TimeHtml(holder.revoked), "revoked") + Cell(Places(view, language), "places") +
         "</tr>\n";
}

std::string SearchForm(const std::string& text, Language language) {
  return "<form id=\"holder-search\" method=\"get\" action=\"/cardholders\"><label>" +
         Caption(language, Msg::kHolderSearch) + " <input name=\"q\" value=\"" + Escape(text) +
         "\"></label> <button type=\"submit\">" + Caption(language, Msg::kSearch) +
         "</button></form>\n";
}

std::string Input(Language language, Msg caption, const char* name, const std::string& value,
                  const char* type = "text", const char* extra = "") {
  return "<label>" + Caption(language, caption) + " <input name=\"" + name + "\" type=\"" + type +
         "\" value=\"" + Escape(value) + "\"" + extra + "></label>\n";
}

// The add or change form for an admin; for anyone else, how to become one.
std::string HolderForm(const HolderFields& fields, bool known, const httplib::Request& request,
                       const WriteAccess& access, Language language) {
  if (!access.AdminOf(request)) {
    return "<p class=\"admin-note\">" +
           Caption(language, Msg::kAdminLogin,
                   {"<a href=\"/login\">" + Caption(language, Msg::kSignIn) + "</a>"}) +
           "</p>\n";
  }
  return "<h2>" + Caption(language, known ? Msg::kHolderForm : Msg::kAddHolder) +
         "</h2>\n<form id=\"holder-form\" class=\"holder\" method=\"post\" action=\"/cardholders\">" +
         access.FormTokenInput(request) + "\n" +
         Input(language, Msg::kCard, "card", fields.card, "text", known ? " readonly" : " required") +
         Input(language, Msg::kStaff, "staff", fields.staff, "text", " required") +
         Input(language, Msg::kHolder, "name", fields.name) +
         Input(language, Msg::kTerminals, "terminals", fields.terminals, "text", " required") +
         Input(language, Msg::kValidFrom, "valid_from", fields.valid_from, "date") +
         Input(language, Msg::kValidUntil, "valid_until", fields.valid_until, "date") +
         "<button id=\"save\" type=\"submit\">" + Caption(language, Msg::kSave) + "</button></form>\n";
}

HolderFields FieldsOf(const Cardholder& holder) {
  return {std::to_string(holder.card), holder.staff, holder.name, WhereText(holder.where),
          holder.valid_from ? DayText(*holder.valid_from) : "",
          holder.valid_until ? DayText(*holder.valid_until) : ""};
}

std::string HolderBody(const HolderView& view, const httplib::Request& request,
                       const WriteAccess& access, Language language) {
  const Cardholder& holder = view.holder;
  std::string body;
  if (Param(request, "saved")) body += "<p class=\"flash\">" + Caption(language, Msg::kSaved) + "</p>\n";
  if (Param(request, "revoked")) {
    body += "<p class=\"flash\">" + Caption(language, Msg::kRevokeDone) + "</p>\n";
  }
  body += "<dl class=\"facts\">\n";
  for (const auto& [caption, value] : std::vector<std::pair<Msg, std::string>>{
           {Msg::kCardHex, CardHex(holder.card)},
           {Msg::kCard, std::to_string(holder.card)},
           {Msg::kStaff, Escape(holder.staff)},
           {Msg::kHolder, "<span id=\"holder-name\">" + Escape(holder.name) + "</span>"},
           {Msg::kTerminals, Escape(WhereText(holder.where))},
           {Msg::kValidFrom, holder.valid_from ? DayText(*holder.valid_from) : "—"},
           {Msg::kValidUntil, holder.valid_until ? DayText(*holder.valid_until) : "—"},
           {Msg::kOwner, Owner(holder, language)},
           {Msg::kRevoked, TimeHtml(holder.revoked)}}) {
    body += "<dt>" + Caption(language, caption) + "</dt><dd>" + value + "</dd>\n";
  }
  body += "</dl>\n<h2>" + Caption(language, Msg::kTerminals) + "</h2>\n" + Places(view, language) + "\n";
  body += HolderForm(FieldsOf(holder), true, request, access, language);
  if (!holder.revoked && access.AdminOf(request)) {
    body += "<form id=\"revoke-form\" method=\"post\" action=\"/cardholders/" +
            std::to_string(holder.card) + "/revoke\">" + access.FormTokenInput(request) +
            "<button id=\"revoke\" type=\"submit\">" + Caption(language, Msg::kRevoke) +
            "</button></form>\n";
  }
  return body;
}

// The form again, with why it was not saved above it.
void Refuse(httplib::Response& response, const httplib::Request& request, const WriteAccess& access,
            const std::vector<std::string>& problems) {
  const Language language = LanguageOf(request);
  std::string body = "<div class=\"error\"><p class=\"error\">" + Caption(language, Msg::kNotSaved) +
                     "</p><ul>";
  for (const std::string& problem : problems) body += "<li>" + Escape(problem) + "</li>";
  body += "</ul></div>\n" + HolderForm(HolderFieldsOf(request), false, request, access, language);
  SendPage(response, 400, {language, Msg::kNavCardholders, "", std::move(body)});
}

// The search's page: the holders found, a link to those after them, and
// the form that adds one.
std::string HolderListBody(Dashboard& dashboard, const httplib::Request& request,
                           const WriteAccess& access, Language language) {
  const std::string text = Param(request, "q").value_or("");
  const std::optional<std::string> after = Param(request, "after");
  const HolderPage page = FindHolders(
      dashboard, text, after ? std::optional(CardOfField(*after, "after")) : std::nullopt,
      kHoldersShown);
  std::string rows;
  for (const HolderView& view : page.holders) rows += HolderRow(view, language);
  std::string body = SourcesPanel(dashboard, request, language) + SearchForm(text, language);
  if (page.holders.empty()) body += "<p>" + Caption(language, Msg::kNoHolders) + "</p>\n";
  body += Table(
      "cardholders", language,
      {Msg::kCardHex, Msg::kCard, Msg::kStaff, Msg::kHolder, Msg::kOwner, Msg::kRevoked,
       Msg::kTerminals},
      rows);
  if (page.more) {
    body += "<p><a id=\"more\" href=\"/cardholders?q=" + Escape(UrlEncoded(text)) +
            "&amp;after=" + std::to_string(page.holders.back().holder.card) + "\">" +
            Caption(language, Msg::kMoreHolders) + "</a></p>\n";
  }
  return body + HolderForm({}, false, request, access, language);
}

// POST /cardholders: the holder saved by `by`, or the form again with why not.
void SaveHolder(Dashboard& dashboard, const WriteAccess& access, const httplib::Request& request,
                httplib::Response& response, const std::string& by) {
  Cardholder holder;
  try {
    holder = HolderOf(HolderFieldsOf(request), CardTerminals(*dashboard.Config()));
  } catch (const BadField& bad) {
    Refuse(response, request, access, {bad.Describe(LanguageOf(request))});
    return;
  }
  const ChangeResult result = ChangeCards(dashboard, {{holder}, {}, false}, by);
  if (result.refused()) {
    Refuse(response, request, access, result.problems);
    return;
  }
  response.set_redirect("/cardholders/" + std::to_string(holder.card) + "?saved=1", 303);
}

}  // namespace

void AddCardholdersPage(httplib::Server& server, Dashboard& dashboard) {
  const WriteAccess& access = dashboard.access();
  server.Get("/cardholders", Guarded([&dashboard, &access](const httplib::Request& request,
                                                           httplib::Response& response) {
    const Language language = LanguageOf(request);
    SendPage(
        response, 200,
        {language, Msg::kNavCardholders, "", HolderListBody(dashboard, request, access, language)});
  }));
  server.Get(R"(/cardholders/([^/]+))", Guarded([&dashboard, &access](const httplib::Request& request,
                                                                     httplib::Response& response) {
    const Language language = LanguageOf(request);
    const uint32_t card = CardOfField(request.matches[1], "card");
    const std::optional<HolderView> view = FindHolder(dashboard, card);
    if (!view) {
      SendError(request, response, 404, Fill(language, Msg::kNoSuchCard, {std::to_string(card)}),
                Msg::kNavCardholders);
      return;
    }
    SendPage(response, 200, {language, Msg::kNavCardholders, Escape(view->holder.name),
                             HolderBody(*view, request, access, language)});
  }));
  server.Post(
      "/cardholders",
      AdminOnly(access, [&dashboard, &access](const httplib::Request& request,
                                              httplib::Response& response, const std::string& by) {
        SaveHolder(dashboard, access, request, response, by);
      }));
  server.Post(R"(/cardholders/([^/]+)/revoke)", AdminOnly(access, [&dashboard](
                                                                      const httplib::Request& request,
                                                                      httplib::Response& response,
                                                                      const std::string& by) {
    const uint32_t card = CardOfField(request.matches[1], "card");
    const ChangeResult result = ChangeCards(dashboard, {{}, {card}, false}, by);
    if (result.refused()) throw InputError(result.problems.front());
    response.set_redirect("/cardholders/" + std::to_string(card) + "?revoked=1", 303);
  }));
}

}  // namespace tallygate::collector::web
