#include "collector/store/punch_query.h"

#include <utility>

#include "collector/base/time_text.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kPunchColumns =
    "SELECT p.terminal, p.card, p.local_time, p.utc_time, p.flag, p.keep, p.bytes, p.raw,"
    " p.position, p.id, ";

// A card may stand twice on a list: its first place is its entry, so that no
// punch is listed twice.
constexpr std::string_view kEntryJoin =
    " LEFT JOIN cards c ON c.terminal = p.terminal AND c.position ="
    " (SELECT min(e.position) FROM cards e WHERE e.terminal = p.terminal AND e.card = p.card)";

std::string SelectPunches() {
  return std::string(kPunchColumns) + "c.staff, c.name FROM punches p" + std::string(kEntryJoin);
}

// The holder the wanted lists name first; else the entry on the punch's
// terminal's list; else, for the name, one any list gave the card.
// `more` adds columns after the entry's and tables after the joins.
std::string SelectHolderPunches(std::string_view more_columns = "",
                                std::string_view more_tables = "") {
  return std::string(kPunchColumns) +
         "COALESCE(h.staff, c.staff), COALESCE(h.name, c.name,"
         " (SELECT min(n.name) FROM card_names n WHERE n.card = p.card))" +
         std::string(more_columns) +
         " FROM punches p LEFT JOIN cardholders h ON h.card = p.card" +
         std::string(kEntryJoin) + std::string(more_tables);
}

constexpr std::string_view kEscape = " ESCAPE '\\'";

// A query being written: conditions joined by AND, values as $N.
class QueryText {
 public:
  explicit QueryText(std::string select) { query_.sql = std::move(select); }

  std::string Param(SqlValue value) {
    query_.params.push_back(std::move(value));
    std::string name = "$";
    name += std::to_string(query_.params.size());
    return name;
  }
  void Where(const std::string& condition) {
    query_.sql += (conditions_++ == 0 ? " WHERE " : " AND ") + condition;
  }
  void Append(std::string_view text) { query_.sql += text; }
  PunchQuery Done() && { return std::move(query_); }

 private:
  PunchQuery query_;
  int conditions_ = 0;
};

// The filter's conditions; returns the parameter holding the name pattern
// (empty without one).
std::string AddFilter(const PunchFilter& filter, QueryText& query) {
  if (filter.from) query.Where("p.local_time >= " + query.Param(LocalTimeText(*filter.from)));
  if (filter.to) query.Where("p.local_time < " + query.Param(LocalTimeText(*filter.to)));
  if (filter.terminal) query.Where("p.terminal = " + query.Param(*filter.terminal));
  if (!filter.terminals.empty()) {
    std::string list;
    for (const std::string& terminal : filter.terminals) {
      list += (list.empty() ? "" : ", ") + query.Param(terminal);
    }
    query.Where("p.terminal IN (" + list + ")");
  }
  if (filter.card) query.Where("p.card = " + query.Param(int64_t{*filter.card}));
  const auto pattern = NamePattern(filter);
  if (!pattern) return "";
  const std::string param = query.Param(*pattern);
  // Asked of each punch, not of the joined entry: a condition on the join
  // lets PostgreSQL hash the whole card table and sort what it finds.
  query.Where(
      "(SELECT lower(n.name) FROM cards n WHERE n.terminal = p.terminal AND n.card = p.card"
      " ORDER BY n.position LIMIT 1) LIKE " +
      param + std::string(kEscape));
  return param;
}

}  // namespace

std::optional<std::string> NamePattern(const PunchFilter& filter) {
  if (!filter.name || filter.name->empty()) return std::nullopt;
  std::string pattern = "%";
  for (char c : *filter.name) {
    if (c == '\\' || c == '%' || c == '_') pattern += '\\';
    pattern += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return pattern + "%";
}

PunchQuery ExportQuery(const PunchFilter& filter) {
  QueryText query(SelectPunches());
  const std::string pattern = AddFilter(filter, query);
  if (!pattern.empty()) {
    // Implied by the name's condition; lets the database start from the
    // cards that have such a name.
    query.Where("p.card IN (SELECT h.card FROM card_names h WHERE lower(h.name) LIKE " + pattern +
                std::string(kEscape) + ")");
  }
  query.Append(" ORDER BY p.terminal, p.local_time NULLS LAST, p.position, p.id");
  return std::move(query).Done();
}

PunchQuery SearchQuery(const PunchFilter& filter, bool dated,
                       const std::optional<PunchCursor>& after, int64_t limit) {
  QueryText query(SelectPunches());
  AddFilter(filter, query);
  // Two walks instead of one, because the databases cannot seek an index
  // to a condition that also lets NULLs through. Both are ordered alike:
  // PostgreSQL does not take IS NULL as fixing the time, and ordered by id
  // alone it would walk the id's index past every dated punch.
  if (dated) {
    if (after) {
      query.Where("(p.local_time, p.id) < (" + query.Param(LocalTimeText(after->local.value())) +
                  ", " + query.Param(after->id) + ")");
    } else {
      query.Where("p.local_time IS NOT NULL");
    }
  } else {
    query.Where("p.local_time IS NULL");
    if (after && !after->local) query.Where("p.id < " + query.Param(after->id));
  }
  query.Append(" ORDER BY p.local_time DESC, p.id DESC");
  query.Append(" LIMIT " + query.Param(limit));
  return std::move(query).Done();
}

PunchQuery HolderPunchQuery(const PunchFilter& filter, bool dated) {
  QueryText query(SelectHolderPunches());
  if (dated) {
    AddFilter(filter, query);
    // A date range holds no undated punch; without one they are read apart.
    if (!filter.from && !filter.to) query.Where("p.local_time IS NOT NULL");
  } else {
    PunchFilter undated = filter;
    undated.from.reset();
    undated.to.reset();
    AddFilter(undated, query);
    query.Where("p.local_time IS NULL");
  }
  query.Append(" ORDER BY p.card, p.local_time, p.id");
  return std::move(query).Done();
}

PunchQuery StoredAfterQuery(int64_t after, int64_t limit) {
  QueryText query(SelectHolderPunches());
  query.Where("p.id > " + query.Param(after));
  query.Append(" ORDER BY p.id LIMIT " + query.Param(limit));
  return std::move(query).Done();
}

PunchQuery RefusedQuery(const std::string& sink, bool again_only, int64_t limit) {
  QueryText query(SelectHolderPunches(", r.reason, r.refused_at, r.again",
                                      " JOIN sink_refusals r ON r.punch = p.id"));
  query.Where("r.sink = " + query.Param(sink));
  if (again_only) query.Where("r.again = 1");
  query.Append(" ORDER BY p.id LIMIT " + query.Param(limit));
  return std::move(query).Done();
}

PunchQuery HourCountQuery(const PunchFilter& filter) {
  // The time as text is the same on both databases: SQLite keeps it so,
  // PostgreSQL's session writes a timestamp so (DateStyle ISO). Its first
  // 13 characters are the hour.
  QueryText query(
      "SELECT substr(CAST(p.local_time AS TEXT), 1, 13) AS hour, count(*) FROM punches p");
  AddFilter(filter, query);
  query.Append(" GROUP BY hour ORDER BY hour");
  return std::move(query).Done();
}

PunchQuery HolderCardsQuery(const PunchFilter& filter, int64_t limit) {
  // One terminal's list, or every name any list has held (a few rows per
  // holder, where the lists hold them on every terminal).
  QueryText query(filter.terminal ? "SELECT DISTINCT card FROM cards"
                                  : "SELECT DISTINCT card FROM card_names");
  query.Where("lower(name) LIKE " + query.Param(NamePattern(filter).value_or("%")) +
              std::string(kEscape));
  if (filter.terminal) query.Where("terminal = " + query.Param(*filter.terminal));
  query.Append(" LIMIT " + query.Param(limit));
  return std::move(query).Done();
}

}  // namespace tallygate::collector
