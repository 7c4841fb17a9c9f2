// SqlStore's operations for carrying the wanted card lists out: the lists'
// version, each terminal's pending changes, and the last outcome per
// terminal and card.
#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "collector/store/sql_store.h"
#include "collector/store/sql_values.h"
#include "collector/base/time_text.h"

namespace tallygate::collector {
namespace {

CardChange ReadChange(const SqlRow& row, int column) {
  const std::string name = row.Text(column);
  const std::optional<CardChange> change = CardChangeFromName(name);
  if (!change) throw StoreError("unknown card change \"" + name + "\"");
  return *change;
}

// The rows of `terminal` (every terminal's when empty) and of `card` when
// given, in the order the Store promises; their values join `params`.
std::string WhereOrdered(const std::string& terminal, std::optional<uint32_t> card,
                         std::vector<SqlValue>& params) {
  std::string where;
  const auto condition = [&](const char* column, SqlValue value) {
    params.push_back(std::move(value));
    where += (where.empty() ? " WHERE " : " AND ") + std::string(column) + " = $" +
             std::to_string(params.size());
  };
  if (!terminal.empty()) condition("terminal", terminal);
  if (card) condition("card", int64_t{*card});
  return where + " ORDER BY terminal, card";
}

// "card IN ($n, ...)" for `cards`, their values joining `params`.
std::string CardIn(std::span<const uint32_t> cards, std::vector<SqlValue>& params) {
  std::string list;
  for (uint32_t card : cards) {
    params.emplace_back(int64_t{card});
    list += (list.empty() ? "$" : ", $") + std::to_string(params.size());
  }
  return "card IN (" + list + ")";
}

// "of gate-1, card 5", "of every terminal" for a failure's message.
std::string Whose(const std::string& terminal, std::optional<uint32_t> card) {
  return "of " + (terminal.empty() ? std::string("every terminal") : terminal) +
         (card ? ", card " + std::to_string(*card) : "");
}

std::vector<PendingCard> ReadPending(SqlSession& session, const std::string& terminal,
                                     std::optional<uint32_t> card) {
  std::vector<SqlValue> params;
  const std::string query =
      "SELECT terminal, card, change, reason, staff, name, since, tried, error"
      " FROM pending_cards" +
      WhereOrdered(terminal, card, params);
  std::vector<PendingCard> pending;
  session.Query(query, params, [&](const SqlRow& row) {
    PendingCard& change = pending.emplace_back();
    change.terminal = row.Text(0);
    change.card = static_cast<uint32_t>(row.Int(1));
    change.change = ReadChange(row, 2);
    change.reason = row.Text(3);
    change.staff = row.Text(4);
    change.name = row.Text(5);
    change.since = ReadUtc(row, 6).value_or(UtcTime{});
    change.tried = ReadUtc(row, 7);
    change.error = row.Text(8);
  });
  return pending;
}

// What the lists want of a change; since, tried and error are its history.
auto Wanted(const PendingCard& change) {
  return std::tie(change.card, change.change, change.reason, change.staff, change.name);
}

bool SameWanted(std::span<const PendingCard> a, std::span<const PendingCard> b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const PendingCard& x, const PendingCard& y) { return Wanted(x) == Wanted(y); });
}

void WritePending(SqlSession& session, const std::string& terminal, const PendingCard& change) {
  session.Exec(
      "INSERT INTO pending_cards (terminal, card, change, reason, staff, name, since, tried, error)"
      " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) ON CONFLICT (terminal, card) DO UPDATE SET"
      " change = excluded.change, reason = excluded.reason, staff = excluded.staff,"
      " name = excluded.name, since = excluded.since, tried = excluded.tried,"
      " error = excluded.error",
      {terminal, int64_t{change.card}, std::string(CardChangeName(change.change)), change.reason,
       change.staff, change.name, UtcTimeText(change.since), UtcValue(change.tried), change.error});
}

}  // namespace

int64_t SqlStore::CardholdersVersion() {
  // ChangeCardholders' writers are serialized (SQLite's write lock; on
  // PostgreSQL LockCardholders until the commit), so audit ids commit in
  // the order they are drawn: the newest id seen never passes over a change
  // that commits later.
  return Run("reading the version of the cardholders", [&] {
    int64_t version = 0;
    session().Query("SELECT COALESCE(max(id), 0) FROM card_audit", {},
                    [&](const SqlRow& row) { version = row.Int(0); });
    return version;
  });
}

void SqlStore::SetPendingCards(const std::string& terminal, std::span<const PendingCard> pending) {
  Run("setting the pending cards of " + terminal, [&] {
    std::vector<PendingCard> wanted(pending.begin(), pending.end());
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const PendingCard& a, const PendingCard& b) { return a.card < b.card; });
    // Called at every poll of every terminal, and as a rule nothing has
    // changed: one read then, and no commit.
    if (SameWanted(ReadPending(session(), terminal, std::nullopt), wanted)) return;
    SqlTransaction transaction(session());
    // Read again inside: an outcome may have ended a change meanwhile.
    const std::vector<PendingCard> stored = ReadPending(session(), terminal, std::nullopt);
    const auto drop = [&](const PendingCard& change) {
      session().Exec("DELETE FROM pending_cards WHERE terminal = $1 AND card = $2",
                     {terminal, int64_t{change.card}});
    };
    auto old = stored.begin();
    for (const PendingCard& change : wanted) {
      for (; old != stored.end() && old->card < change.card; ++old) drop(*old);
      if (old == stored.end() || old->card != change.card || old->change != change.change) {
        WritePending(session(), terminal, change);
      } else if (Wanted(*old) != Wanted(change)) {
        // The same change with other fields: its history stays.
        PendingCard kept = change;
        kept.since = old->since;
        kept.tried = old->tried;
        kept.error = old->error;
        WritePending(session(), terminal, kept);
      }
      if (old != stored.end() && old->card == change.card) ++old;
    }
    for (; old != stored.end(); ++old) drop(*old);
    transaction.Commit();
  });
}

std::vector<PendingCard> SqlStore::PendingCards(const std::string& terminal,
                                                std::optional<uint32_t> card) {
  return Run("reading the pending cards " + Whose(terminal, card),
             [&] { return ReadPending(session(), terminal, card); });
}

std::vector<PendingCount> SqlStore::PendingCardCounts() {
  return Run("counting the pending cards", [&] {
    std::vector<PendingCount> counts;
    session().Query(
        "SELECT terminal, change, count(*), min(since) FROM pending_cards"
        " GROUP BY terminal, change",
        {}, [&](const SqlRow& row) {
          counts.push_back(
              {row.Text(0), ReadChange(row, 1), row.Int(2), ReadUtc(row, 3).value_or(UtcTime{})});
        });
    // Changes in their own order (add, rewrite, remove), not their names'.
    std::sort(counts.begin(), counts.end(), [](const PendingCount& a, const PendingCount& b) {
      return std::tie(a.terminal, a.change) < std::tie(b.terminal, b.change);
    });
    return counts;
  });
}

void SqlStore::FinishCardChanges(std::span<const CardOutcome> outcomes) {
  Run("keeping the outcomes of card changes", [&] {
    if (outcomes.empty()) return;
    SqlTransaction transaction(session());
    for (const CardOutcome& outcome : outcomes) {
      std::vector<SqlValue> params{outcome.terminal, int64_t{outcome.card},
                                   std::string(CardChangeName(outcome.change)),
                                   UtcTimeText(outcome.at), outcome.error};
      // A failure just like the last outcome (a terminal refusing the same
      // change at every poll) is kept once in the history, not every time.
      bool repeated = false;
      if (!outcome.error.empty()) {
        session().Query(
            "SELECT 1 FROM card_outcomes WHERE terminal = $1 AND card = $2 AND change = $3"
            " AND error = $4",
            {params[0], params[1], params[2], params[4]}, [&](const SqlRow&) { repeated = true; });
      }
      if (!repeated) {
        session().Exec("INSERT INTO card_history (terminal, card, change, at, error)"
                       " VALUES ($1, $2, $3, $4, $5)",
                       params);
      }
      session().Exec(
          "INSERT INTO card_outcomes (terminal, card, change, at, error)"
          " VALUES ($1, $2, $3, $4, $5) ON CONFLICT (terminal, card) DO UPDATE SET"
          " change = excluded.change, at = excluded.at, error = excluded.error",
          params);
      // Only the change that was tried: another one pending for the card
      // (the lists changed during the attempt) stays as it was.
      if (outcome.error.empty()) {
        params.resize(3);
        session().Exec(
            "DELETE FROM pending_cards WHERE terminal = $1 AND card = $2 AND change = $3", params);
      } else {
        session().Exec(
            "UPDATE pending_cards SET tried = $4, error = $5"
            " WHERE terminal = $1 AND card = $2 AND change = $3",
            params);
      }
    }
    transaction.Commit();
  });
}

std::vector<CardOutcome> SqlStore::CardOutcomes(const std::string& terminal,
                                                std::optional<uint32_t> card) {
  return Run("reading the card outcomes " + Whose(terminal, card), [&] {
    std::vector<SqlValue> params;
    const std::string query = "SELECT terminal, card, change, at, error FROM card_outcomes" +
                              WhereOrdered(terminal, card, params);
    std::vector<CardOutcome> outcomes;
    session().Query(query, params, [&](const SqlRow& row) {
      outcomes.push_back({row.Text(0), static_cast<uint32_t>(row.Int(1)), ReadChange(row, 2),
                          ReadUtc(row, 3).value_or(UtcTime{}), row.Text(4)});
    });
    return outcomes;
  });
}

std::vector<CardOutcome> SqlStore::CardHistory(uint32_t card, int limit) {
  return Run("reading the card history " + Whose("", card), [&] {
    std::vector<CardOutcome> history;
    session().Query(
        "SELECT terminal, card, change, at, error FROM card_history WHERE card = $1"
        " ORDER BY id DESC LIMIT $2",
        {int64_t{card}, int64_t{limit}}, [&](const SqlRow& row) {
          history.push_back({row.Text(0), static_cast<uint32_t>(row.Int(1)), ReadChange(row, 2),
                             ReadUtc(row, 3).value_or(UtcTime{}), row.Text(4)});
        });
    return history;
  });
}

std::vector<CardTrace> SqlStore::CardTraces(std::span<const uint32_t> cards) {
  return Run("reading where the cards have been", [&] {
    std::vector<CardTrace> traces;
    std::map<uint32_t, CardTrace*> by_card;
    traces.reserve(cards.size());
    for (uint32_t card : cards) {
      by_card.emplace(card, &traces.emplace_back(CardTrace{card, {}, {}, {}}));
    }
    if (cards.empty()) return traces;
    const auto trace = [&](const SqlRow& row) -> CardTrace& {
      return *by_card.at(static_cast<uint32_t>(row.Int(0)));
    };
    std::vector<SqlValue> params;
    const std::string in = CardIn(cards, params);
    session().Query("SELECT card, max(at) FROM card_audit WHERE " + in + " GROUP BY card", params,
                    [&](const SqlRow& row) { trace(row).changed = ReadUtc(row, 1); });
    session().Query(
        "SELECT DISTINCT card, terminal FROM card_history WHERE " + in + " ORDER BY card, terminal",
        params, [&](const SqlRow& row) { trace(row).tried_on.push_back(row.Text(1)); });
    // Every collected list, with the cards' entries looked up in each by
    // its index (terminal, card).
    std::vector<CardTrace::Listing> lists;
    std::vector<std::pair<size_t, CardEntry>> entries;  // the list's index, the entry
    session().Query(
        "SELECT t.name, t.cards_collected, c.card, c.position, c.staff, c.name, c.raw_name"
        " FROM terminals t LEFT JOIN cards c ON c.terminal = t.name AND c." +
            in + " WHERE t.cards_collected IS NOT NULL ORDER BY t.name, c.position",
        params, [&](const SqlRow& row) {
          if (lists.empty() || lists.back().terminal != row.Text(0)) {
            lists.push_back({row.Text(0), ReadUtc(row, 1).value_or(UtcTime{}), {}});
          }
          if (row.IsNull(2)) return;
          entries.emplace_back(lists.size() - 1, CardEntry{static_cast<int32_t>(row.Int(3)),
                                                           static_cast<uint32_t>(row.Int(2)),
                                                           row.Text(4), row.Text(5), row.Bytes(6)});
        });
    for (CardTrace& each : traces) each.lists = lists;
    for (auto& [list, entry] : entries) {
      by_card.at(entry.card)->lists[list].entries.push_back(std::move(entry));
    }
    return traces;
  });
}

}  // namespace tallygate::collector
