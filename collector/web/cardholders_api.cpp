// The JSON API of the wanted card lists: /api/cardholders (search, one
// holder, add or replace, revoke, CSV import) and /api/cards/pending.
// Writes need an admin (write_access.h); bad input is 400 naming the
// field, or listing every bad line of a CSV, and changes nothing.
#include <nlohmann/json.hpp>

#include "collector/cards/holder_csv.h"
#include "collector/base/time_text.h"
#include "collector/base/value_text.h"
#include "collector/web/card_writes.h"
#include "collector/web/holder_input.h"
#include "collector/web/holder_view.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"
#include "collector/web/search_query.h"
#include "collector/web/write_access.h"

namespace tallygate::collector::web {
namespace {

using Json = nlohmann::ordered_json;

Json DayJson(const std::optional<LocalDay>& day) {
  return day ? Json(DayText(*day)) : Json(nullptr);
}

Json TimeJson(const std::optional<UtcTime>& time) {
  return time ? Json(UtcTimeText(*time)) : Json(nullptr);
}

Json TerminalCardJson(const TerminalCard& place) {
  Json json{{"terminal", place.terminal}, {"state", CardPlaceName(place.place)}};
  if (place.place == CardPlace::kUnknown) json["list_collected"] = TimeJson(place.list_collected);
  if (place.pending) {
    json["change"] = CardChangeName(place.pending->change);
    json["reason"] = place.pending->reason;
    json["since"] = UtcTimeText(place.pending->since);
    json["error"] = place.pending->error;
    json["tried"] = TimeJson(place.pending->tried);
  }
  return json;
}

Json HolderJson(const HolderView& view) {
  const Cardholder& holder = view.holder;
  Json terminals = Json::array();
  for (const TerminalCard& place : view.terminals) terminals.push_back(TerminalCardJson(place));
  return {{"card", holder.card},
          {"card_hex", CardHex(holder.card)},
          {"staff", holder.staff},
          {"name", holder.name},
          {"where", holder.where},
          {"valid_from", DayJson(holder.valid_from)},
          {"valid_until", DayJson(holder.valid_until)},
          {"revoked", TimeJson(holder.revoked)},
          {"terminals", std::move(terminals)}};
}

Json PendingJson(const PendingCard& pending) {
  return {{"terminal", pending.terminal},
          {"card", pending.card},
          {"change", CardChangeName(pending.change)},
          {"reason", pending.reason},
          {"since", UtcTimeText(pending.since)},
          {"tried", TimeJson(pending.tried)},
          {"error", pending.error}};
}

// 200 with what changed, or 400 with every reason it was refused.
void SendChange(httplib::Response& response, const ChangeResult& result, bool dry_run) {
  if (result.refused()) {
    std::string joined;
    for (const std::string& problem : result.problems) joined += (joined.empty() ? "" : "; ") + problem;
    SendJson(response, 400, Json{{"error", joined}, {"field", "terminals"}, {"problems", result.problems}});
    return;
  }
  Json changes = Json::array();
  for (const CardAudit& audit : result.audits) {
    changes.push_back({{"card", audit.card}, {"action", CardActionName(audit.action)}, {"what", audit.what}});
  }
  SendJson(response, 200, Json{{"dry_run", dry_run}, {"changes", std::move(changes)}});
}

bool Flag(const httplib::Request& request, const char* name) {
  const std::optional<std::string> value = Param(request, name);
  return value && *value != "0" && *value != "false";
}

void Import(Dashboard& dashboard, const httplib::Request& request, httplib::Response& response,
            const std::string& by) {
  const HolderFile file = ReadHolderCsv(request.body, CardTerminals(*dashboard.Config()));
  if (!file.problems.empty()) {
    Json problems = Json::array();
    for (const LineProblem& problem : file.problems) {
      problems.push_back(std::to_string(problem.line) + ": " + problem.what);
    }
    SendJson(response, 400, Json{{"error", "the CSV has bad lines; nothing changed"},
                                 {"field", "body"},
                                 {"problems", std::move(problems)}});
    return;
  }
  const CardholderChanges changes{file.holders, {}, !Flag(request, "merge")};
  const bool dry_run = Flag(request, "dry_run");
  SendChange(response, dry_run ? PreviewCards(dashboard, changes) : ChangeCards(dashboard, changes, by),
             dry_run);
}

}  // namespace

void AddCardholdersApi(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/api/cardholders", Guarded([&dashboard](const httplib::Request& request,
                                                      httplib::Response& response) {
    const std::optional<std::string> after = Param(request, "after");
    const HolderPage page =
        FindHolders(dashboard, Param(request, "q").value_or(""),
                    after ? std::optional(CardOfField(*after, "after")) : std::nullopt,
                    static_cast<size_t>(LimitParam(request, "limit", 100)));
    Json holders = Json::array();
    for (const HolderView& view : page.holders) holders.push_back(HolderJson(view));
    const Json next = page.more ? Json(std::to_string(page.holders.back().holder.card)) : Json(nullptr);
    SendJson(response, 200, Json{{"cardholders", std::move(holders)}, {"next", next}});
  }));
  server.Get(R"(/api/cardholders/([^/]+))", Guarded([&dashboard](const httplib::Request& request,
                                                                 httplib::Response& response) {
    const uint32_t card = CardOfField(request.matches[1], "card");
    const std::optional<HolderView> view = FindHolder(dashboard, card);
    if (!view) {
      SendError(request, response, 404, Fill(LanguageOf(request), Msg::kNoSuchCard, {std::to_string(card)}));
      return;
    }
    SendJson(response, 200, HolderJson(*view));
  }));
  const WriteAccess& access = dashboard.access();
  server.Post("/api/cardholders", AdminOnly(access, [&dashboard](const httplib::Request& request,
                                                                 httplib::Response& response,
                                                                 const std::string& by) {
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_discarded()) throw BadField("body", Msg::kFieldProblem, "not JSON");
    const Cardholder holder = HolderOf(HolderFieldsOf(body), CardTerminals(*dashboard.Config()));
    SendChange(response, ChangeCards(dashboard, {{holder}, {}, false}, by), false);
  }));
  server.Post("/api/cardholders/import", AdminOnly(access, [&dashboard](const httplib::Request& request,
                                                                        httplib::Response& response,
                                                                        const std::string& by) {
    Import(dashboard, request, response, by);
  }));
  server.Delete(R"(/api/cardholders/([^/]+))", AdminOnly(access, [&dashboard](
                                                                     const httplib::Request& request,
                                                                     httplib::Response& response,
                                                                     const std::string& by) {
    // As `cards remove`: a card nobody held may be revoked too (enrolled by
    // hand, it is then taken off every terminal that holds it).
    const uint32_t card = CardOfField(request.matches[1], "card");
    SendChange(response, ChangeCards(dashboard, {{}, {card}, false}, by), false);
  }));
  server.Get("/api/cards/pending", Guarded([&dashboard](const httplib::Request& request,
                                                        httplib::Response& response) {
    const std::string terminal = Param(request, "terminal").value_or("");
    Json list = Json::array();
    for (const PendingCard& pending :
         dashboard.WithStore([&](CardBook& store) { return store.PendingCards(terminal, std::nullopt); })) {
      list.push_back(PendingJson(pending));
    }
    SendJson(response, 200, Json{{"pending", std::move(list)}});
  }));
}

}  // namespace tallygate::collector::web
