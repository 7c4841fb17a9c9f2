#include "collector/web/responses.h"

#include "collector/base/log.h"
#include "collector/store/store.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {
namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Language LanguageOf(const httplib::Request& request) {
  return LanguageFor(request.get_header_value("Accept-Language"));
}

bool IsDownload(const std::string& path) {
  return path == "/punches.csv" || path == "/timesheet.csv";
}

void SendPage(httplib::Response& response, int status, const PageFrame& frame) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(RenderPage(frame), "text/html; charset=utf-8");
}

void SendSearchPage(httplib::Response& response, Language language, Msg heading, std::string form,
                    const std::function<std::string()>& results) {
  int status = 200;
  try {
    form += results();
  } catch (const BadField& bad) {
    status = 400;
    form += "<p class=\"error\">" + Escape(bad.Describe(language)) + "</p>\n";
  }
  SendPage(response, status, {language, heading, "", std::move(form)});
}

void SendJson(httplib::Response& response, int status, const nlohmann::ordered_json& value) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
                       "application/json");
}

void SendError(const httplib::Request& request, httplib::Response& response, int status,
               const std::string& message, Msg heading) {
  if (StartsWith(request.path, "/api/")) {
    SendJson(response, status, nlohmann::ordered_json{{"error", message}});
  } else if (StartsWith(request.path, "/metrics") || StartsWith(request.path, "/healthz") ||
             IsDownload(request.path)) {
    response.status = status;
    response.set_content(message + "\n", "text/plain; charset=utf-8");
  } else {
    SendPage(response, status,
             {LanguageOf(request), heading, "", "<p class=\"error\">" + Escape(message) + "</p>\n"});
  }
}

httplib::Server::Handler Guarded(httplib::Server::Handler handler) {
  return [handler = std::move(handler)](const httplib::Request& request,
                                        httplib::Response& response) {
    try {
      handler(request, response);
    } catch (const BadField& bad) {
      if (StartsWith(request.path, "/api/")) {
        SendJson(response, 400, nlohmann::ordered_json{{"error", bad.Describe(LanguageOf(request))},
                                                       {"field", bad.field()}});
      } else {
        SendError(request, response, 400, bad.Describe(LanguageOf(request)));
      }
    } catch (const StoreError& e) {
      Log(LogLevel::kWarning, std::string("dashboard: ") + request.path + ": " + e.what());
      SendError(request, response, 503, Fill(LanguageOf(request), Msg::kStoreDown, {e.what()}));
    } catch (const std::exception& e) {
      Log(LogLevel::kError, std::string("dashboard: ") + request.path + ": " + e.what());
      SendError(request, response, 500, e.what());
    }
  };
}

}  // namespace tallygate::collector::web
