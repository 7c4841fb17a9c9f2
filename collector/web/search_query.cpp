#include "collector/web/search_query.h"

#include <charconv>

#include "collector/base/value_text.h"
#include "collector/web/html.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kLongestText = 200;
constexpr const char* kFilterFields[] = {"from", "to", "terminal", "card", "name"};

std::optional<LocalTime> Day(const httplib::Request& request, const char* field) {
  const std::optional<std::string> text = Param(request, field);
  if (!text) return std::nullopt;
  std::optional<LocalTime> day = ParseDay(*text);
  if (!day) throw BadField(field, Msg::kBadDate, *text);
  return day;
}

std::optional<std::string> Text(const httplib::Request& request, const char* field) {
  std::optional<std::string> text = Param(request, field);
  if (text && text->size() > kLongestText) throw BadField(field, Msg::kTooLong, "");
  return text;
}

}  // namespace

BadField::BadField(std::string field, Msg reason, std::string value)
    : InputError(field + ": bad value"),
      field_(std::move(field)),
      reason_(reason),
      value_(std::move(value)) {}

std::string BadField::Describe(Language language) const {
  return Fill(language, reason_, {field_, value_});
}

std::optional<std::string> Param(const httplib::Request& request, const char* name) {
  if (!request.has_param(name)) return std::nullopt;
  std::string value = request.get_param_value(name);
  if (value.empty()) return std::nullopt;
  return value;
}

int LimitParam(const httplib::Request& request, const char* name, int fallback) {
  const std::optional<std::string> text = Param(request, name);
  if (!text) return fallback;
  int limit = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), limit);
  if (error != std::errc() || end != text->data() + text->size() || limit < 1 || limit > 1000) {
    throw BadField(name, Msg::kBadLimit, *text);
  }
  return limit;
}

SearchQuery ReadSearch(const httplib::Request& request, bool paged) {
  SearchQuery query;
  PunchFilter& filter = query.filter;
  filter.from = Day(request, "from");
  if (std::optional<LocalTime> to = Day(request, "to")) filter.to = *to + std::chrono::days{1};
  filter.terminal = Text(request, "terminal");
  if (std::optional<std::string> card = Text(request, "card")) {
    try {
      filter.card = ParseCard(*card);
    } catch (const InputError&) {
      throw BadField("card", Msg::kBadCard, *card);
    }
  }
  filter.name = Text(request, "name");
  if (!paged) return query;
  if (std::optional<std::string> after = Text(request, "after")) {
    query.after = PunchCursorFromText(*after);
    if (!query.after) throw BadField("after", Msg::kBadCursor, *after);
  }
  query.limit = LimitParam(request, "limit", 100);
  return query;
}

std::string FilterQuery(const httplib::Request& request) {
  std::string query;
  for (const char* field : kFilterFields) {
    const std::optional<std::string> value = Param(request, field);
    if (!value) continue;
    if (!query.empty()) query += '&';
    query += std::string(field) + "=" + UrlEncoded(*value);
  }
  return query;
}

}  // namespace tallygate::collector::web
