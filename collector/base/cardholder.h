// The card lists the company wants: who holds which card, and on which
// terminals it opens. The collector carries this out on the terminals; the
// store keeps it, and an audit of every change.
#ifndef TALLYGATE_COLLECTOR_BASE_CARDHOLDER_H_
#define TALLYGATE_COLLECTOR_BASE_CARDHOLDER_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/punch.h"

namespace tallygate::collector {

// Where a card belongs: every terminal.
inline constexpr const char* kEveryTerminal = "*";

struct Cardholder {
  uint32_t card = 0;
  std::string staff;  // up to 8 decimal digits, as written
  std::string name;   // UTF-8; fits the terminals' name field
  // The card opens from the start of valid_from to the end of valid_until,
  // both days of each terminal's own calendar; absent: no limit.
  std::optional<LocalDay> valid_from;
  std::optional<LocalDay> valid_until;
  // Terminal names and group names, or kEveryTerminal alone.
  std::vector<std::string> where;
  // Set when the card was revoked: it belongs on no terminal, and is taken
  // off every terminal that holds it. The holder's other fields are those
  // it had. A revoked card is still known, unlike a card nobody asked for
  // (enrolled by hand at a terminal).
  std::optional<UtcTime> revoked;
  // Who keeps the holder: "" a person (a file, a command, the dashboard),
  // "hr:NAME" the HR system a [[holders_from]] reads. Neither changes the
  // other's holders.
  std::string owner = {};

  bool operator==(const Cardholder&) const = default;
};

// A change of the wanted lists, made whole or not at all.
struct CardholderChanges {
  std::vector<Cardholder> put;  // added, or replacing the card's holder (revoked or not)
  std::vector<uint32_t> revoke;
  // `put` is the whole list: every holder not in it is revoked.
  bool whole_list = false;
  // Who makes the changes: the holders put become its, and a whole list
  // revokes only its own holders (Cardholder::owner).
  std::string owner = {};
};

enum class CardAction { kAdd, kChange, kRevoke };
const char* CardActionName(CardAction action);  // "add", "change", "revoke"

// One change of one card, as the audit keeps it.
struct CardAudit {
  int64_t id = 0;  // the store's; later rows have larger ids
  UtcTime when{};
  std::string by;  // "cli", the file imported, a web token's name
  uint32_t card = 0;
  CardAction action = CardAction::kAdd;
  std::string what;  // the change in words: the fields before and after
};

// The holders after `changes` (revocations at `when`), by card. `holders`
// is the list before, by card.
std::vector<Cardholder> AfterChanges(std::span<const Cardholder> holders,
                                     const CardholderChanges& changes, UtcTime when);

// What changed from `before` to `after` (both by card), card by card; a
// card the same in both is not there. `when` and `by` are left for the
// caller.
std::vector<CardAudit> Differences(std::span<const Cardholder> before,
                                   std::span<const Cardholder> after);

// ---- Carrying the wanted lists out on the terminals ----

// What one terminal's list needs for one card.
enum class CardChange { kAdd, kRewrite, kRemove };
const char* CardChangeName(CardChange change);  // "add", "rewrite", "remove"
std::optional<CardChange> CardChangeFromName(std::string_view name);

// A change one terminal's list still needs: worked out from the wanted lists
// and the terminal's list, carried out by the terminal's worker. While a
// removal is pending, the card may still open that terminal.
struct PendingCard {
  std::string terminal;
  uint32_t card = 0;
  CardChange change = CardChange::kAdd;
  // Why a removal: "revoked", "expired", "not valid yet", "elsewhere" (its
  // terminals no longer take this one in), "unknown" (nobody asked for the
  // card, and the terminal removes such cards). Empty for add and rewrite.
  std::string reason;
  std::string staff;  // as it is to be enrolled: 8 digits (add, rewrite)
  std::string name;
  // Since when the terminal's list differs from what is wanted: kept while
  // the same change stays pending.
  UtcTime since{};
  std::optional<UtcTime> tried;  // the last attempt that failed, and why
  std::string error;

  bool operator==(const PendingCard&) const = default;
};

// The last attempt at carrying out one change on one terminal.
struct CardOutcome {
  std::string terminal;
  uint32_t card = 0;
  CardChange change = CardChange::kAdd;
  UtcTime at{};
  std::string error;  // empty: done, and found so on the terminal

  bool operator==(const CardOutcome&) const = default;
};

// How many changes of one kind a terminal still needs, and since when the
// oldest of them.
struct PendingCount {
  std::string terminal;
  CardChange change = CardChange::kAdd;
  int64_t count = 0;
  UtcTime oldest{};
};

// What the store knows of where a card has been, beside its holder and the
// pending changes: what tells whether a terminal may still hold it
// (collector/cards/card_places.h).
struct CardTrace {
  uint32_t card = 0;
  // When its holder last changed: its newest audit row; absent when never.
  std::optional<UtcTime> changed;
  // The terminals the collector ever tried a change of it on (an add, a
  // rewrite or a removal, done or not): it may have been there. By name.
  std::vector<std::string> tried_on;
  // Every terminal whose list was ever collected, by name: when last, and
  // the card's entries on it (none when the list lacks it).
  struct Listing {
    std::string terminal;
    UtcTime collected{};
    std::vector<CardEntry> entries;
  };
  std::vector<Listing> lists;
};

// `where` as written in a file: "gates;canteen", or "*".
std::string WhereText(const std::vector<std::string>& where);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_CARDHOLDER_H_
