// A terminal known by its memory: the marks it is recognised by, a memory
// taken as a terminal's own, and a terminal carried over to a new name.
#include "collector/store/sql_store.h"
#include "collector/store/sql_values.h"

namespace tallygate::collector {
namespace {

// Every table that keeps rows by terminal, but `terminals` itself.
constexpr const char* kByTerminal[] = {"collections",   "punches",       "cards",
                                       "pending_cards", "card_outcomes", "card_history"};
// Of those, the ones that say what a terminal holds now rather than what
// happened: a name being moved onto has none worth keeping.
constexpr const char* kPresentState[] = {"cards", "pending_cards", "card_outcomes"};

}  // namespace

KnownMemories SqlStore::Memories(const std::string& terminal) {
  return Run("reading the terminals' marks", [&] {
    KnownMemories known;
    session().Query(
        "SELECT name, mark_positions, mark_last, mark_first, CASE WHEN accept_memory = 1 THEN 1 ELSE 0 END FROM terminals"
        " WHERE mark_positions > 0 OR name = $1 ORDER BY name",
        {terminal}, [&](const SqlRow& row) {
          if (row.Text(0) == terminal) {
            known.accept = row.Int(4) != 0;
          } else {
            known.others.push_back({row.Text(0), ReadMark(row, 1, true)});
          }
        });
    return known;
  });
}

void SqlStore::AdoptMemory(const std::string& terminal, const Mark& mark) {
  Run("taking a memory as " + terminal + "'s", [&] {
    RequireClaim(terminal);
    session().Exec(
        "UPDATE terminals SET mark_positions = $2, mark_last = $3, mark_first = $4,"
        " accept_memory = $5 WHERE name = $1",
        {terminal, int64_t{mark.positions}, mark.last ? BytesValue(*mark.last) : SqlValue(),
         mark.first ? BytesValue(*mark.first) : SqlValue(), int64_t{0}});
  });
}

void SqlStore::AcceptMemory(const std::string& terminal) {
  Run("accepting the memory of " + terminal, [&] {
    const int64_t found = session().Exec(
        "UPDATE terminals SET accept_memory = $2 WHERE name = $1", {terminal, int64_t{1}});
    if (found == 0) throw StoreError("no terminal \"" + terminal + "\" in the store");
  });
}

void SqlStore::MoveTerminal(const std::string& from, const std::string& to) {
  Run("moving " + from + " to " + to, [&] {
    if (from == to) throw StoreError("a terminal is moved to another name");
    SqlTransaction transaction(session());
    bool from_known = false;
    bool to_known = false;
    int64_t to_punches = 0;
    int64_t to_positions = 0;
    session().Query("SELECT name, punches, mark_positions FROM terminals WHERE name IN ($1, $2)",
                    {from, to}, [&](const SqlRow& row) {
                      if (row.Text(0) == from) {
                        from_known = true;
                      } else {
                        to_known = true;
                        to_punches = row.Int(1);
                        to_positions = row.Int(2);
                      }
                    });
    if (!from_known) throw StoreError("no terminal \"" + from + "\" in the store");
    if (to_punches > 0 || to_positions > 0) {
      throw StoreError("\"" + to + "\" already has punches of its own (" +
                       std::to_string(to_punches) + "); a terminal's history moves only onto a"
                       " name that has none");
    }
    if (!to_known) {
      session().Exec(
          "INSERT INTO terminals (name, endpoint, address, time_zone)"
          " SELECT $2, endpoint, address, time_zone FROM terminals WHERE name = $1",
          {from, to});
    }
    for (const char* table : kPresentState) {
      session().Exec(std::string("DELETE FROM ") + table + " WHERE terminal = $1", {to});
    }
    for (const char* table : kByTerminal) {
      session().Exec(std::string("UPDATE ") + table + " SET terminal = $2 WHERE terminal = $1",
                     {from, to});
    }
    session().Exec(
        "UPDATE terminals SET (mark_positions, mark_last, mark_first, punches, cards_collected,"
        " last_success, last_count) = (SELECT f.mark_positions, f.mark_last, f.mark_first,"
        " f.punches, f.cards_collected, f.last_success, f.last_count FROM terminals f"
        " WHERE f.name = $1), accept_memory = $3 WHERE name = $2",
        {from, to, int64_t{0}});
    session().Exec("DELETE FROM terminals WHERE name = $1", {from});
    transaction.Commit();
  });
}

}  // namespace tallygate::collector
