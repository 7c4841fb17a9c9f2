// A search cursor as a page's link carries it: the local time in ISO form
// (or "-" for a punch without a date), a dot, the punch's id.
#include <charconv>

#include "collector/store/store.h"
#include "collector/base/time_text.h"

namespace tallygate::collector {

std::string PunchCursorText(const PunchCursor& cursor) {
  std::string text = "-";
  if (cursor.local) {
    text = LocalTimeText(*cursor.local);
    text[10] = 'T';  // "2026-12-01T08:59:12": no space to escape in a URL
  }
  return text + "." + std::to_string(cursor.id);
}

std::optional<PunchCursor> PunchCursorFromText(std::string_view text) {
  const size_t dot = text.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view when = text.substr(0, dot);
  const std::string_view number = text.substr(dot + 1);

  // Only the form PunchCursorText writes: digits without sign or leading zero.
  PunchCursor cursor;
  if (number.empty() || number[0] < '1' || number[0] > '9') return std::nullopt;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), cursor.id);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;

  if (when != "-") {
    if (when.size() != 19 || when[10] != 'T') return std::nullopt;
    const auto seconds = ParseTimeText(when);
    if (!seconds) return std::nullopt;
    cursor.local = LocalTime{*seconds};
  }
  return cursor;
}

}  // namespace tallygate::collector
