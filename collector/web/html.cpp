#include "collector/web/html.h"

#include <vector>

#include "collector/base/time_text.h"

namespace tallygate::collector::web {
std::string UrlEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Caption(Language language, Msg id, const std::vector<std::string_view>& values) {
  // Each value goes in as a marker that escaping leaves alone, then is
  // put in place: the caption's own text is escaped, the values are not.
  std::vector<std::string> markers;
  for (size_t i = 0; i < values.size(); ++i) {
    std::string marker(1, '\x01');
    marker += std::to_string(i);
    marker += '\x02';
    markers.push_back(std::move(marker));
  }
  std::string out = Escape(Fill(language, id, {markers.begin(), markers.end()}));
  for (size_t i = 0; i < values.size(); ++i) {
    out.replace(out.find(markers[i]), markers[i].size(), values.begin()[i]);
  }
  return out;
}

std::string TimeHtml(const std::optional<UtcTime>& time) {
  if (!time) return "—";
  const std::string text = UtcTimeText(*time);
  return "<time datetime=\"" + text + "\">" + text + "</time>";
}

std::string Table(std::string_view id, Language language, const std::vector<Msg>& headings,
                  const std::string& rows) {
  std::string html = "<div class=\"scroll\"><table id=\"" + std::string(id) + "\">\n<thead><tr>";
  for (const Msg heading : headings) html += "<th>" + Caption(language, heading) + "</th>";
  return html + "</tr></thead>\n<tbody>\n" + rows + "</tbody></table></div>\n";
}

std::string Cell(const std::string& html, std::string_view css_class) {
  if (css_class.empty()) return "<td>" + html + "</td>";
  return "<td class=\"" + std::string(css_class) + "\">" + html + "</td>";
}

std::string RenderPage(const PageFrame& frame) {
  const Language language = frame.language;
  const std::string heading = Caption(language, frame.heading);
  const std::string title = frame.title.empty() ? heading : frame.title;
  std::string nav;
  for (const auto& [id, href] : {std::pair{Msg::kNavTerminals, "/terminals"},
                                 std::pair{Msg::kNavPunches, "/punches"},
                                 std::pair{Msg::kNavTimesheet, "/timesheet"},
                                 std::pair{Msg::kNavCardholders, "/cardholders"}}) {
    nav += "<a href=\"" + std::string(href) + "\"" +
           (id == frame.heading ? " aria-current=\"page\"" : "") + ">" + Caption(language, id) +
           "</a>";
  }
  return "<!DOCTYPE html>\n<html lang=\"" + std::string(LanguageTag(language)) +
         "\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>" + title + " · " + Caption(language, Msg::kTitle) + "</title>\n"
         "<link rel=\"stylesheet\" href=\"/static/app.css\">\n"
         "<script src=\"/static/app.js\" defer></script>\n</head>\n<body" +
         (frame.refresh_seconds > 0
              ? " data-refresh=\"" + std::to_string(frame.refresh_seconds) + "\""
              : std::string()) +
         ">\n<header><strong>" + Caption(language, Msg::kTitle) + "</strong><nav>" + nav +
         "</nav></header>\n<main>\n<h1>" + title + "</h1>\n" + frame.body + "</main>\n</body>\n</html>\n";
}

}  // namespace tallygate::collector::web
