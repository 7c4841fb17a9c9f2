// Values between the store's types and SQL, shared by the files that
// define SqlStore's operations.
#ifndef TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_
#define TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_

#include <chrono>
#include <optional>

#include "collector/store/punch.h"
#include "collector/store/sql_session.h"

namespace tallygate::collector {

// The time as time_text.h writes it; NULL when absent.
SqlValue UtcValue(const std::optional<UtcTime>& time);

// A stored time, as seconds since 1970; absent when NULL. Throws
// StoreError for text that is no time.
std::optional<std::chrono::seconds> ReadTime(const SqlRow& row, int column);
std::optional<UtcTime> ReadUtc(const SqlRow& row, int column);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQL_VALUES_H_
