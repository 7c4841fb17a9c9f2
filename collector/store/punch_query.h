// The SQL that reads punches, written once for both databases: the stream
// of an export and the pieces of a search page. Only the filter's
// conditions are in the text, so that each database picks its index from
// it; the values stay parameters.
#ifndef TALLYGATE_COLLECTOR_STORE_PUNCH_QUERY_H_
#define TALLYGATE_COLLECTOR_STORE_PUNCH_QUERY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/store/sql_session.h"
#include "collector/store/store.h"

namespace tallygate::collector {

struct PunchQuery {
  std::string sql;
  std::vector<SqlValue> params;
};

// The columns of every query below that reads punches, in this order:
// terminal, card, local_time, utc_time, flag, keep, bytes, raw, position, id
// (0 to 9), then the card's entry: staff, name (10, 11; NULL when it has
// none).
constexpr int kPunchIdColumn = 9;
constexpr int kEntryColumn = 10;

// A name that fits this many cards or fewer is searched card by card, each
// from the card index; one that fits more, walking the time index.
constexpr int kFewHolderCards = 16;

// The filter's name as a LIKE pattern on lower-cased names: letters A-Z
// lowered, \ % _ escaped with \, between %s. Absent without a name or with
// an empty one (which every punch contains).
std::optional<std::string> NamePattern(const PunchFilter& filter);

// Every punch `filter` selects, by terminal, local time (undated last),
// position and id.
PunchQuery ExportQuery(const PunchFilter& filter);

// The first `limit` punches `filter` selects after `after`, newest first:
// of those with a date (`dated`, then `after` must have one or be absent) or
// of those without.
PunchQuery SearchQuery(const PunchFilter& filter, bool dated,
                       const std::optional<PunchCursor>& after, int64_t limit);

// Every punch `filter` selects, with a date (`dated`) or, whatever the
// filter's dates, without one; by card, local time and id. The entry
// columns hold the card's holder (Store::ForEachHolderPunch).
PunchQuery HolderPunchQuery(const PunchFilter& filter, bool dated);

// Up to `limit` punches after the id `after`, by id; the entry columns as
// HolderPunchQuery's.
PunchQuery StoredAfterQuery(int64_t after, int64_t limit);

// Up to `limit` punches `sink` refused (only those asked again, with
// `again_only`), by id; the entry columns as HolderPunchQuery's, then the
// refusal's reason, time and whether it is asked again (12 to 14).
constexpr int kRefusalColumn = 12;
PunchQuery RefusedQuery(const std::string& sink, bool again_only, int64_t limit);

// How many punches `filter` selects (its dates and terminals only) per
// hour, as "YYYY-MM-DD HH" then the count, by hour.
PunchQuery HourCountQuery(const PunchFilter& filter);

// Up to `limit` cards that have had a name the filter's name fits (on the
// filter's terminal's list when it has one): a punch the filter's name
// selects has one of them, not every punch of them is selected.
PunchQuery HolderCardsQuery(const PunchFilter& filter, int64_t limit);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_PUNCH_QUERY_H_
