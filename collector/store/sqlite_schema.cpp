// The SQLite schema, version by version. Never change a version that has
// been released: add the next one. Local times are text "YYYY-MM-DD HH:MM:SS",
// UTC times "YYYY-MM-DDTHH:MM:SSZ", so that both sort as they should.
#include "collector/store/sqlite_store.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kVersions[] = {
    // 1: terminals, collections, punches, cards.
    R"(
CREATE TABLE terminals (
  name           TEXT PRIMARY KEY NOT NULL,
  endpoint       TEXT NOT NULL,
  address        INTEGER NOT NULL,
  time_zone      TEXT NOT NULL,
  mark_positions INTEGER NOT NULL DEFAULT 0,
  mark_last      BLOB CHECK (length(mark_last) = 12),
  last_poll      TEXT,
  last_success   TEXT,
  last_count     INTEGER,
  last_error     TEXT NOT NULL DEFAULT '',
  backoff_until  TEXT
) STRICT;
CREATE TABLE collections (
  id                INTEGER PRIMARY KEY AUTOINCREMENT,
  terminal          TEXT NOT NULL REFERENCES terminals (name),
  started           TEXT NOT NULL,
  ended             TEXT,
  count             INTEGER,
  from_position     INTEGER NOT NULL,
  positions_fetched INTEGER NOT NULL,
  punches_added     INTEGER NOT NULL,
  pages_lost        INTEGER NOT NULL,
  outcome           TEXT NOT NULL,
  error             TEXT NOT NULL DEFAULT ''
) STRICT;
CREATE INDEX collections_terminal ON collections (terminal, id);
CREATE TABLE punches (
  id         INTEGER PRIMARY KEY,
  terminal   TEXT NOT NULL REFERENCES terminals (name),
  card       INTEGER NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  local_time TEXT,
  utc_time   TEXT,
  flag       INTEGER NOT NULL,
  keep       INTEGER NOT NULL,
  bytes      BLOB NOT NULL CHECK (length(bytes) = 12),
  raw        BLOB NOT NULL CHECK (length(raw) = 16),
  position   INTEGER NOT NULL,
  collection INTEGER NOT NULL REFERENCES collections (id),
  UNIQUE (terminal, bytes)
) STRICT;
CREATE INDEX punches_local_time ON punches (local_time);
CREATE INDEX punches_terminal_local_time ON punches (terminal, local_time);
CREATE INDEX punches_card_local_time ON punches (card, local_time);
CREATE TABLE cards (
  terminal  TEXT NOT NULL REFERENCES terminals (name),
  position  INTEGER NOT NULL,
  card      INTEGER NOT NULL,
  staff     TEXT NOT NULL,
  name      TEXT NOT NULL,
  raw_name  BLOB NOT NULL,
  collected TEXT NOT NULL,
  PRIMARY KEY (terminal, position)
) STRICT;
CREATE INDEX cards_card ON cards (card, terminal);
)",
    // 2: what the dashboard asks often. Each punch index ends in the row id,
    // which is the id: searches walk them newest first. Each terminal's
    // count of punches and when its card list was collected; every name a
    // card has had on a list, where a search by name starts; the entry of a
    // card on a list, found from the index alone; the last success of a
    // terminal in one step.
    R"(
ALTER TABLE terminals ADD COLUMN punches INTEGER NOT NULL DEFAULT 0;
ALTER TABLE terminals ADD COLUMN cards_collected TEXT;
UPDATE terminals SET
  punches = (SELECT count(*) FROM punches p WHERE p.terminal = terminals.name),
  cards_collected = (SELECT max(c.collected) FROM cards c WHERE c.terminal = terminals.name);
CREATE TABLE card_names (
  card INTEGER NOT NULL,
  name TEXT NOT NULL,
  PRIMARY KEY (card, name)
) STRICT, WITHOUT ROWID;
INSERT INTO card_names (card, name) SELECT DISTINCT card, name FROM cards;
DROP INDEX cards_card;
CREATE INDEX cards_terminal_card ON cards (terminal, card, position);
CREATE INDEX collections_success ON collections (terminal, id)
  WHERE ended IS NOT NULL AND outcome IN ('complete', 'cleared');
)",
    // 3: the card lists the company wants (cardholder.h) and the audit of
    // their changes. `terminals` holds the names as written, separated by
    // ';' ("*": every terminal); `revoked` is set on a card that belongs
    // nowhere any more. An audit row's id is what the outcome of the change
    // on each terminal will refer to.
    R"(
CREATE TABLE cardholders (
  card        INTEGER PRIMARY KEY CHECK (card BETWEEN 0 AND 4294967295),
  staff       TEXT NOT NULL,
  name        TEXT NOT NULL,
  valid_from  TEXT,
  valid_until TEXT,
  terminals   TEXT NOT NULL,
  revoked     TEXT
) STRICT;
CREATE TABLE card_audit (
  id     INTEGER PRIMARY KEY AUTOINCREMENT,
  at     TEXT NOT NULL,
  actor  TEXT NOT NULL,
  card   INTEGER NOT NULL,
  action TEXT NOT NULL,
  what   TEXT NOT NULL
) STRICT;
CREATE INDEX card_audit_card ON card_audit (card, id);
)",
    // 4: carrying the wanted lists out (cardholder.h): the changes each
    // terminal still needs, and the last attempt at each card on each
    // terminal (error '' = done). Both are read by terminal, and by card for
    // where one card stands everywhere.
    R"(
CREATE TABLE pending_cards (
  terminal TEXT NOT NULL,
  card     INTEGER NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   TEXT NOT NULL,
  reason   TEXT NOT NULL,
  staff    TEXT NOT NULL,
  name     TEXT NOT NULL,
  since    TEXT NOT NULL,
  tried    TEXT,
  error    TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (terminal, card)
) STRICT, WITHOUT ROWID;
CREATE INDEX pending_cards_card ON pending_cards (card);
CREATE TABLE card_outcomes (
  terminal TEXT NOT NULL,
  card     INTEGER NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   TEXT NOT NULL,
  at       TEXT NOT NULL,
  error    TEXT NOT NULL,
  PRIMARY KEY (terminal, card)
) STRICT, WITHOUT ROWID;
CREATE INDEX card_outcomes_card ON card_outcomes (card);
)",
    // 5: every attempt at a card change on a terminal, beside the last one
    // per terminal and card: when each change of the audit was carried out,
    // or why not. A failure like the one before it is not repeated.
    R"(
CREATE TABLE card_history (
  id       INTEGER PRIMARY KEY AUTOINCREMENT,
  terminal TEXT NOT NULL,
  card     INTEGER NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   TEXT NOT NULL,
  at       TEXT NOT NULL,
  error    TEXT NOT NULL
) STRICT;
CREATE INDEX card_history_card ON card_history (card, id);
INSERT INTO card_history (terminal, card, change, at, error)
  SELECT terminal, card, change, at, error FROM card_outcomes ORDER BY at;
)",
    // 6: where each sink that delivers punches onward has got (sink.h).
    R"(
CREATE TABLE sinks (
  name       TEXT PRIMARY KEY NOT NULL,
  position   INTEGER NOT NULL,
  batch_last INTEGER NOT NULL,
  batch_id   TEXT NOT NULL,
  batch_file TEXT NOT NULL,
  stopped    TEXT NOT NULL,
  stopped_at TEXT,
  delivered  TEXT,
  failures   INTEGER NOT NULL,
  last_error TEXT NOT NULL
) STRICT;
)",
    // 7: a terminal's memory recognised by its first record beside its last
    // (store.h, Memories), and the request to take a memory as a
    // terminal's own (AcceptMemory).
    R"(
ALTER TABLE terminals ADD COLUMN mark_first BLOB CHECK (length(mark_first) = 12);
ALTER TABLE terminals ADD COLUMN accept_memory INTEGER NOT NULL DEFAULT 0;
UPDATE terminals SET mark_first = (SELECT p.bytes FROM punches p
  WHERE p.terminal = terminals.name AND p.position = 0 ORDER BY p.id DESC LIMIT 1)
  WHERE mark_positions > 0;
)",
    // 8: the collectors sharing a PostgreSQL database; kept alike here, where
    // one collector polls everything and the table stays empty.
    R"(
CREATE TABLE collectors (
  id      TEXT PRIMARY KEY NOT NULL,
  name    TEXT NOT NULL,
  fleet   TEXT NOT NULL,
  started TEXT NOT NULL
) STRICT;
)",
    // 9: for HR sinks: the time up to which each terminal's punches are all
    // stored (the start of its last successful poll); punches an HR system
    // refused, kept per sink with its answer until they are placed (sink.h,
    // RefusedPunch); the time an HR sink last moved its Shift Types' sync to.
    R"(
ALTER TABLE terminals ADD COLUMN complete_to TEXT;
ALTER TABLE sinks ADD COLUMN shift_sync TEXT;
CREATE TABLE sink_refusals (
  sink       TEXT NOT NULL,
  punch      INTEGER NOT NULL REFERENCES punches (id),
  reason     TEXT NOT NULL,
  refused_at TEXT NOT NULL,
  again      INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (sink, punch)
) STRICT;
)",
    // 10: who keeps each cardholder ('' a person, 'hr:NAME' the HR system a
    // [[holders_from]] reads), and what each source's last read came to
    // (source_read.h): its counts and lists as a JSON report.
    R"(
ALTER TABLE cardholders ADD COLUMN owner TEXT NOT NULL DEFAULT '';
CREATE TABLE holder_sources (
  name       TEXT PRIMARY KEY NOT NULL,
  read_at    TEXT NOT NULL,
  outcome    TEXT NOT NULL,
  success_at TEXT,
  report     TEXT NOT NULL
) STRICT;
)",
};

}  // namespace

std::span<const std::string_view> SqliteSchema() { return kVersions; }

}  // namespace tallygate::collector
