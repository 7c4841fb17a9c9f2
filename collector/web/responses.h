// How the dashboard answers: HTML pages, JSON and plain text, and every
// failure as a status with a message in the form the URL speaks (a page
// with <p class="error">, {"error": ...}, or text), never a bare 500.
#ifndef TALLYGATE_COLLECTOR_WEB_RESPONSES_H_
#define TALLYGATE_COLLECTOR_WEB_RESPONSES_H_

#include <httplib.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "collector/web/html.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

Language LanguageOf(const httplib::Request& request);

// A file's URL (/punches.csv, /timesheet.csv): its failures are plain text.
bool IsDownload(const std::string& path);

void SendPage(httplib::Response& response, int status, const PageFrame& frame);
void SendJson(httplib::Response& response, int status, const nlohmann::ordered_json& value);

// A search page: `form`, then `results()` (HTML); when that throws a
// BadField, its message under the form instead, with 400.
void SendSearchPage(httplib::Response& response, Language language, Msg heading, std::string form,
                    const std::function<std::string()>& results);

// `message` (plain text) with `status`: as a page titled `heading` for a
// page's URL, {"error": message} under /api/, text otherwise.
void SendError(const httplib::Request& request, httplib::Response& response, int status,
               const std::string& message, Msg heading = Msg::kTitle);

// `handler` with its failures answered: BadField 400, StoreError 503,
// anything else 500 with the reason logged.
httplib::Server::Handler Guarded(httplib::Server::Handler handler);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_RESPONSES_H_
