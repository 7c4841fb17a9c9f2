// /punches: a search by days, terminal, card and name, newest first, 100
// a page, with a link to the same search as CSV (punches_csv.cpp). The
// first page of all punches gains new ones at the top as they are stored:
// the page's script follows /api/events when the page carries #live-note.
#include "collector/base/value_text.h"
#include "collector/base/time_text.h"
#include "collector/web/form_fields.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

std::string SearchForm(Language language, const CollectorConfig& config,
                       const httplib::Request& request) {
  return "<form id=\"search\" method=\"get\" action=\"/punches\">" +
         InputField(language, Msg::kFrom, "from", "date", request) +
         InputField(language, Msg::kTo, "to", "date", request) +
         SelectField(language, Msg::kTerminal, Msg::kAllTerminals, "terminal",
                     TerminalNames(config), request) +
         InputField(language, Msg::kCard, "card", "text", request) +
         InputField(language, Msg::kHolder, "name", "text", request) +
         "<button id=\"search-button\" type=\"submit\">" + Caption(language, Msg::kSearch) +
         "</button></form>\n";
}

// The page's script (static_assets.cpp) builds the same cells for a punch
// from the live feed.
std::string PunchRows(const std::vector<PunchRow>& rows) {
  std::string html;
  for (const PunchRow& row : rows) {
    const Punch& punch = row.punch;
    html += "<tr class=\"punch\" data-id=\"" + std::to_string(row.id) + "\">" +
            Cell(Escape(row.terminal), "terminal") +
            Cell(CardHex(punch.card), "card-hex") + Cell(std::to_string(punch.card), "card") +
            Cell(Escape(row.staff), "staff") + Cell(Escape(row.name), "name") +
            Cell(punch.local ? LocalTimeText(*punch.local) : "—", "time") + "</tr>\n";
  }
  return html;
}

// `newest`: the store's newest punch id, read before the page's rows; the
// live feed follows on from it, so that a punch stored in between shows
// (once: the script skips a row already on the page).
std::string Results(Language language, const SearchQuery& query, const PunchPage& page,
                    int64_t newest, const std::string& filters) {
  std::string html;
  if (query.filter.card) {
    html += "<p class=\"card-read\">" +
            Caption(language, Msg::kCardReadAs,
                    {CardHex(*query.filter.card), std::to_string(*query.filter.card)}) +
            "</p>\n";
  }
  html += "<p class=\"actions\"><a id=\"csv-link\" href=\"/punches.csv?" + Escape(filters) +
          "\">" + Caption(language, Msg::kDownloadCsv) + "</a></p>\n";
  if (filters.empty() && !query.after) {
    html += "<p id=\"live-note\" class=\"legend\" data-events=\"/api/events\" data-after=\"" +
            std::to_string(newest) + "\" hidden>" +
            Caption(language, Msg::kLiveNote) + "</p>\n";
  }
  if (page.rows.empty()) html += "<p>" + Caption(language, Msg::kNoPunches) + "</p>\n";
  html += Table("punches", language,
                {Msg::kTerminal, Msg::kCardHex, Msg::kCard, Msg::kStaff, Msg::kHolder, Msg::kTime},
                PunchRows(page.rows));
  if (page.next) {
    const std::string href = "/punches?" + filters + (filters.empty() ? "" : "&") + "after=" +
                             UrlEncoded(PunchCursorText(*page.next));
    html += "<p><a id=\"next-page\" href=\"" + Escape(href) + "\">" +
            Caption(language, Msg::kNextPage) + " →</a></p>\n";
  }
  return html;
}

void PunchesPage(Dashboard& dashboard, const httplib::Request& request,
                 httplib::Response& response) {
  const Language language = LanguageOf(request);
  SendSearchPage(response, language, Msg::kNavPunches,
                 SearchForm(language, *dashboard.Config(), request), [&] {
                   const SearchQuery query = ReadSearch(request, true);
                   int64_t newest = 0;
                   const PunchPage page = dashboard.WithStore([&](PunchReader& store) {
                     newest = store.LastPunchId();
                     return store.SearchPunches(query.filter, query.after, query.limit);
                   });
                   return Results(language, query, page, newest, FilterQuery(request));
                 });
}

}  // namespace

void AddPunchesPage(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/punches", Guarded([&dashboard](const httplib::Request& request,
                                              httplib::Response& response) {
    PunchesPage(dashboard, request, response);
  }));
}

}  // namespace tallygate::collector::web
