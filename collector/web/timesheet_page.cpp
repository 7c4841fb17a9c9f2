// /timesheet: the rows of `tallygate-collector timesheet` for chosen
// working days (the last seven by default) and a terminal or group, the
// days with a single punch flagged, the undated punches listed apart, with
// a link to the same rows as CSV (timesheet_csv.cpp).
#include "collector/config/clock_text.h"
#include "collector/export/timesheet.h"
#include "collector/base/time_zone.h"
#include "collector/base/value_text.h"
#include "collector/web/form_fields.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/timesheet_query.h"

namespace tallygate::collector::web {
namespace {

// A page stays light; the download has every row.
constexpr size_t kShownRows = 1000;

std::string TimesheetForm(Language language, const CollectorConfig& config,
                          const TimesheetChoice& choice, const httplib::Request& request) {
  return "<form id=\"search\" method=\"get\" action=\"/timesheet\">" +
         InputField(language, Msg::kFrom, "from", "date", choice.from) +
         InputField(language, Msg::kTo, "to", "date", choice.to) +
         SelectField(language, Msg::kTerminal, Msg::kAllTerminals, "terminal",
                     TerminalNames(config), request) +
         SelectField(language, Msg::kGroup, Msg::kAllGroups, "group", GroupNames(config), request) +
         "<button id=\"search-button\" type=\"submit\">" + Caption(language, Msg::kSearch) +
         "</button></form>\n";
}

std::string HolderCells(const TimesheetRow& row) {
  return Cell(CardHex(row.card), "card-hex") + Cell(std::to_string(row.card), "card") +
         Cell(Escape(row.staff), "staff") + Cell(Escape(row.name), "name");
}

std::string DayRow(const TimesheetRow& row, Language language) {
  const TimesheetText text = TimesheetTextOf(row);
  const bool single = row.punches == 1;
  return std::string("<tr class=\"") + (single ? "day single" : "day") + "\">" +
         Cell(text.day, "day") + HolderCells(row) + Cell(text.first, "first") +
         Cell(text.last, "last") + Cell(std::to_string(row.punches), "punches") +
         Cell(text.span, "span") +
         Cell(single ? "⚠ " + Caption(language, Msg::kSinglePunch) : "", "note") + "</tr>\n";
}

std::string UndatedRow(const TimesheetRow& row) {
  return "<tr class=\"undated\">" + HolderCells(row) +
         Cell(std::to_string(row.punches), "punches") + "</tr>\n";
}

struct Rows {
  std::string days, undated;
  size_t shown = 0;
  bool cut = false;
};

Rows ReadRows(Dashboard& dashboard, const PunchFilter& filter, std::chrono::minutes day_starts,
              Language language) {
  Rows rows;
  dashboard.WithStore([&](PunchReader& store) {
    ReadTimesheet(store, filter, day_starts, [&](const TimesheetRow& row) {
      if (!row.day) {
        rows.undated += UndatedRow(row);
      } else if (rows.shown == kShownRows) {
        rows.cut = true;
      } else {
        rows.days += DayRow(row, language);
        ++rows.shown;
      }
    });
  });
  return rows;
}

std::string Results(Language language, const TimesheetChoice& choice, const Rows& rows,
                    std::chrono::minutes day_starts) {
  const std::string starts = ClockText(day_starts);
  std::string html = "<p class=\"actions\"><a id=\"csv-link\" href=\"/timesheet.csv?" +
                     Escape(TimesheetQueryText(choice)) + "\">" +
                     Caption(language, Msg::kDownloadCsv) + "</a><span class=\"legend\">" +
                     Caption(language, Msg::kDayStarts, {starts}) + "</span></p>\n";
  if (rows.cut) {
    html += "<p class=\"legend\">" +
            Caption(language, Msg::kRowsCut, {std::to_string(kShownRows)}) + "</p>\n";
  }
  if (rows.shown == 0) html += "<p>" + Caption(language, Msg::kNoTimesheetRows) + "</p>\n";
  html += Table("timesheet", language,
                {Msg::kWorkingDay, Msg::kCardHex, Msg::kCard, Msg::kStaff, Msg::kHolder,
                 Msg::kFirstPunch, Msg::kLastPunch, Msg::kPunchCount, Msg::kSpan, Msg::kNote},
                rows.days);
  if (rows.undated.empty()) return html;
  return html + "<h2>" + Caption(language, Msg::kUndatedApart) + "</h2>\n" +
         Table("undated", language,
               {Msg::kCardHex, Msg::kCard, Msg::kStaff, Msg::kHolder, Msg::kPunchCount},
               rows.undated);
}

void TimesheetPage(Dashboard& dashboard, const httplib::Request& request,
                   httplib::Response& response) {
  const Language language = LanguageOf(request);
  const std::shared_ptr<const CollectorConfig> config = dashboard.Config();
  const TimesheetChoice choice = ReadTimesheetChoice(request, *config, LocalNow(""));
  SendSearchPage(response, language, Msg::kNavTimesheet,
                 TimesheetForm(language, *config, choice, request), [&] {
                   const PunchFilter filter = TimesheetFilter(choice, *config);
                   return Results(language, choice,
                                  ReadRows(dashboard, filter, config->day_starts, language),
                                  config->day_starts);
                 });
}

}  // namespace

void AddTimesheetPage(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/timesheet", Guarded([&dashboard](const httplib::Request& request,
                                                httplib::Response& response) {
    TimesheetPage(dashboard, request, response);
  }));
}

}  // namespace tallygate::collector::web
