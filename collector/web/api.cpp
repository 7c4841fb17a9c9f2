// The JSON API: /api/terminals (with each one's card changes pending), /api/punches (the punches page's search,
// with after and limit), /api/collections. Times as the export writes them:
// local "YYYY-MM-DD HH:MM:SS", UTC "YYYY-MM-DDTHH:MM:SSZ".
#include <nlohmann/json.hpp>

#include "collector/export/punch_export.h"
#include "collector/base/time_text.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

using Json = nlohmann::ordered_json;

Json When(const std::optional<UtcTime>& time) {
  return time ? Json(UtcTimeText(*time)) : Json(nullptr);
}

template <class Number>
Json Maybe(const std::optional<Number>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json TerminalJson(const TerminalView& view) {
  const TerminalState& state = view.state;
  return {{"name", state.info.name},
          {"endpoint", state.info.endpoint},
          {"address", state.info.address},
          {"time_zone", state.info.time_zone},
          {"configured", view.configured},
          {"poll_interval_seconds", view.poll_interval.count()},
          {"state", AnsweringName(view.answering)},
          {"polled_by", state.polled_by ? Json(*state.polled_by) : Json(nullptr)},
          {"stale", view.stale},
          {"last_poll", When(state.last_poll)},
          {"last_success", When(state.last_success)},
          {"failing_since", When(state.failing_since)},
          {"backoff_until", When(state.backoff_until)},
          {"count", Maybe(state.count)},
          {"stored_positions", state.mark.positions},
          {"punches", state.punches},
          {"last_error", state.last_error}};
}

// {"add": 0, "rewrite": 2, "remove": 1}, and the oldest's since (null
// when none is pending).
void AddPending(Json& terminal, const std::vector<PendingCount>& counts) {
  Json pending = Json::object();
  std::optional<UtcTime> oldest;
  for (const CardChange change : {CardChange::kAdd, CardChange::kRewrite, CardChange::kRemove}) {
    pending[CardChangeName(change)] = 0;
  }
  for (const PendingCount& count : counts) {
    if (count.terminal != terminal["name"]) continue;
    pending[CardChangeName(count.change)] = count.count;
    if (!oldest || count.oldest < *oldest) oldest = count.oldest;
  }
  terminal["pending"] = std::move(pending);
  terminal["pending_since"] = When(oldest);
}

Json CollectionJson(const Collection& collection) {
  return {{"id", collection.id},
          {"terminal", collection.terminal},
          {"started", UtcTimeText(collection.started)},
          {"ended", collection.ended == UtcTime{} ? Json(nullptr) : Json(UtcTimeText(collection.ended))},
          {"count", Maybe(collection.count)},
          {"from_position", collection.from_position},
          {"positions_fetched", collection.positions_fetched},
          {"punches_added", collection.punches_added},
          {"pages_lost", collection.pages_lost},
          {"outcome", OutcomeName(collection.outcome)},
          {"error", collection.error}};
}

}  // namespace

void AddApi(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/api/terminals", Guarded([&dashboard](const httplib::Request&,
                                                    httplib::Response& response) {
    const std::vector<PendingCount> counts =
        dashboard.WithStore([](CardBook& store) { return store.PendingCardCounts(); });
    Json list = Json::array();
    for (const TerminalView& view : CurrentTerminals(dashboard)) {
      Json terminal = TerminalJson(view);
      AddPending(terminal, counts);
      list.push_back(std::move(terminal));
    }
    SendJson(response, 200, Json{{"terminals", std::move(list)}});
  }));
  server.Get("/api/punches", Guarded([&dashboard](const httplib::Request& request,
                                                  httplib::Response& response) {
    const SearchQuery query = ReadSearch(request, true);
    const PunchPage page = dashboard.WithStore([&](PunchReader& store) {
      return store.SearchPunches(query.filter, query.after, query.limit);
    });
    Json punches = Json::array();
    for (const PunchRow& row : page.rows) punches.push_back(PunchJson(row));
    SendJson(response, 200,
             Json{{"punches", std::move(punches)},
                  {"next", page.next ? Json(PunchCursorText(*page.next)) : Json(nullptr)}});
  }));
  server.Get("/api/collections", Guarded([&dashboard](const httplib::Request& request,
                                                      httplib::Response& response) {
    const std::string terminal = Param(request, "terminal").value_or("");
    const int limit = LimitParam(request, "limit", 100);
    const std::vector<Collection> collections =
        dashboard.WithStore([&](PunchReader& store) { return store.Collections(terminal, limit); });
    Json list = Json::array();
    for (const Collection& collection : collections) list.push_back(CollectionJson(collection));
    SendJson(response, 200, Json{{"collections", std::move(list)}});
  }));
}

}  // namespace tallygate::collector::web
