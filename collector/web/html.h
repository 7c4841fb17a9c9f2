// HTML of the dashboard's pages: one escaping function for every value
// put in a page (text and attribute values alike), and the frame every
// page shares.
#ifndef TALLYGATE_COLLECTOR_WEB_HTML_H_
#define TALLYGATE_COLLECTOR_WEB_HTML_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/punch.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// `text` with & < > " ' as character references: safe as element text and
// as a quoted attribute value. Every value from the store, the
// configuration or the request goes through it.
std::string Escape(std::string_view text);

// The caption `id` as HTML, with %1, %2 replaced by `values` (HTML
// already: escaped text or markup built here).
std::string Caption(Language language, Msg id, const std::vector<std::string_view>& values = {});

// <time datetime="...Z">...Z</time> (the page's script shows it in the
// browser's zone); "—" when absent.
std::string TimeHtml(const std::optional<UtcTime>& time);

// `text` with everything but letters, digits and -._~ percent-encoded: a
// path segment ("/terminals/gate%201") or a query value.
std::string UrlEncoded(std::string_view text);

// A table that scrolls sideways on a narrow screen: <table id="ID">, a
// heading row of `headings`, then `rows` (HTML <tr>s).
std::string Table(std::string_view id, Language language, const std::vector<Msg>& headings,
                  const std::string& rows);

// <td>: `html` as it is, with class="CLASS" when given.
std::string Cell(const std::string& html, std::string_view css_class = {});

struct PageFrame {
  Language language = Language::kEnglish;
  Msg heading = Msg::kNavTerminals;      // the page's title and nav entry
  std::string title;                     // HTML; the heading's caption when empty
  std::string body;                      // HTML inside <main>
  int refresh_seconds = 0;               // reloaded by the page's script; 0: never
};

// The whole document: doctype, <html lang>, viewport, the stylesheet and
// script of /static, the navigation, then `frame.body`.
std::string RenderPage(const PageFrame& frame);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_HTML_H_
