#include "collector/store/sql_values.h"

#include <string>

#include "collector/store/store.h"
#include "collector/store/time_text.h"

namespace tallygate::collector {

SqlValue UtcValue(const std::optional<UtcTime>& time) {
  return time ? SqlValue(UtcTimeText(*time)) : SqlValue();
}

std::optional<std::chrono::seconds> ReadTime(const SqlRow& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  const std::string text = row.Text(column);
  auto seconds = ParseTimeText(text);
  if (!seconds) throw StoreError("a stored time is not one: \"" + text + "\"");
  return seconds;
}

std::optional<UtcTime> ReadUtc(const SqlRow& row, int column) {
  auto seconds = ReadTime(row, column);
  if (!seconds) return std::nullopt;
  return UtcTime{*seconds};
}

}  // namespace tallygate::collector
