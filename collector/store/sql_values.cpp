#include "collector/store/sql_values.h"

#include <string>

#include "collector/store/store.h"
#include "collector/base/time_text.h"

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

SqlValue BytesValue(std::span<const uint8_t> bytes) { return Blob(bytes.begin(), bytes.end()); }

Mark ReadMark(const SqlRow& row, int first, bool with_first) {
  Mark mark;
  mark.positions = static_cast<int32_t>(row.Int(first));
  if (!row.IsNull(first + 1)) mark.last = ReadFixed<12>(row, first + 1);
  if (with_first && !row.IsNull(first + 2)) mark.first = ReadFixed<12>(row, first + 2);
  return mark;
}

}  // namespace tallygate::collector
