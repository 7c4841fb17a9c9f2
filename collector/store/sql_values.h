// Values between the store's types and SQL, shared by the files that
// define SqlStore's operations.
#ifndef TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_
#define TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string>

#include "collector/base/punch.h"
#include "collector/store/sql_session.h"
#include "collector/store/store.h"

namespace tallygate::collector {

SqlValue BytesValue(std::span<const uint8_t> bytes);

// The time as time_text.h writes it; NULL when absent.
SqlValue UtcValue(const std::optional<UtcTime>& time);

// A stored time, as seconds since 1970; absent when NULL. Throws
// StoreError for text that is no time.
std::optional<std::chrono::seconds> ReadTime(const SqlRow& row, int column);
std::optional<UtcTime> ReadUtc(const SqlRow& row, int column);

// Bytes of a fixed length; StoreError for any other.
template <size_t N>
std::array<uint8_t, N> ReadFixed(const SqlRow& row, int column) {
  const Blob bytes = row.Bytes(column);
  if (bytes.size() != N) {
    throw StoreError("stored bytes have the wrong length: " + std::to_string(bytes.size()) +
                     " for " + std::to_string(N));
  }
  std::array<uint8_t, N> fixed{};
  std::copy(bytes.begin(), bytes.end(), fixed.begin());
  return fixed;
}

// A mark from the columns mark_positions, mark_last (and mark_first, with
// `with_first`) from `first` on.
Mark ReadMark(const SqlRow& row, int first, bool with_first);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_
