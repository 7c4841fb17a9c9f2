// The PostgreSQL schema, version by version. Never change a version that
// has been released: add the next one. Local times are `timestamp`, UTC
// times `timestamptz`; names compare byte by byte (COLLATE "C"), as SQLite's
// do, so both stores list them in one order.
#include "collector/store/postgres_store.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kVersions[] = {
    // 1: terminals, collections, punches, cards.
    R"(
CREATE TABLE terminals (
  name           text COLLATE "C" PRIMARY KEY,
  endpoint       text NOT NULL,
  address        integer NOT NULL,
  time_zone      text NOT NULL,
  mark_positions integer NOT NULL DEFAULT 0,
  mark_last      bytea CHECK (octet_length(mark_last) = 12),
  last_poll      timestamptz,
  last_success   timestamptz,
  last_count     integer,
  last_error     text NOT NULL DEFAULT '',
  backoff_until  timestamptz
);
CREATE TABLE collections (
  id                bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  terminal          text COLLATE "C" NOT NULL REFERENCES terminals (name),
  started           timestamptz NOT NULL,
  ended             timestamptz,
  count             integer,
  from_position     integer NOT NULL,
  positions_fetched integer NOT NULL,
  punches_added     integer NOT NULL,
  pages_lost        integer NOT NULL,
  outcome           text NOT NULL,
  error             text NOT NULL DEFAULT ''
);
CREATE INDEX collections_terminal ON collections (terminal, id);
CREATE TABLE punches (
  id         bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  terminal   text COLLATE "C" NOT NULL REFERENCES terminals (name),
  card       bigint NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  local_time timestamp(0),
  utc_time   timestamptz(0),
  flag       smallint NOT NULL,
  keep       smallint NOT NULL,
  bytes      bytea NOT NULL CHECK (octet_length(bytes) = 12),
  raw        bytea NOT NULL CHECK (octet_length(raw) = 16),
  position   integer NOT NULL,
  collection bigint NOT NULL REFERENCES collections (id),
  UNIQUE (terminal, bytes)
);
CREATE INDEX punches_local_time ON punches (local_time);
CREATE INDEX punches_terminal_local_time ON punches (terminal, local_time);
CREATE INDEX punches_card_local_time ON punches (card, local_time);
CREATE TABLE cards (
  terminal  text COLLATE "C" NOT NULL REFERENCES terminals (name),
  position  integer NOT NULL,
  card      bigint NOT NULL,
  staff     text NOT NULL,
  name      text NOT NULL,
  raw_name  bytea NOT NULL,
  collected timestamptz NOT NULL,
  PRIMARY KEY (terminal, position)
);
CREATE INDEX cards_card ON cards (card, terminal);
)",
    // 2: what the dashboard asks often. The punch indexes end in the id, so
    // that searches walk them newest first. Each terminal's count of punches
    // and when its card list was collected; holders' names compare byte by
    // byte, so that lower() lowers A-Z only, as SQLite's does; every name a
    // card has had on a list, where a search by name starts; the entry of a
    // card on a list, found from the index alone; the last success of a
    // terminal in one step.
    R"(
ALTER TABLE terminals ADD COLUMN punches bigint NOT NULL DEFAULT 0,
  ADD COLUMN cards_collected timestamptz;
UPDATE terminals t SET
  punches = (SELECT count(*) FROM punches p WHERE p.terminal = t.name),
  cards_collected = (SELECT max(c.collected) FROM cards c WHERE c.terminal = t.name);
ALTER TABLE cards ALTER COLUMN name TYPE text COLLATE "C";
CREATE TABLE card_names (
  card bigint NOT NULL,
  name text COLLATE "C" NOT NULL,
  PRIMARY KEY (card, name)
);
INSERT INTO card_names (card, name) SELECT DISTINCT card, name FROM cards;
DROP INDEX punches_local_time, punches_terminal_local_time, punches_card_local_time, cards_card;
CREATE INDEX punches_local_time ON punches (local_time, id);
CREATE INDEX punches_terminal_local_time ON punches (terminal, local_time, id);
CREATE INDEX punches_card_local_time ON punches (card, local_time, id);
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
  card        bigint PRIMARY KEY CHECK (card BETWEEN 0 AND 4294967295),
  staff       text NOT NULL,
  name        text COLLATE "C" NOT NULL,
  valid_from  date,
  valid_until date,
  terminals   text COLLATE "C" NOT NULL,
  revoked     timestamptz
);
CREATE TABLE card_audit (
  id     bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  at     timestamptz NOT NULL,
  actor  text NOT NULL,
  card   bigint NOT NULL,
  action text NOT NULL,
  what   text NOT NULL
);
CREATE INDEX card_audit_card ON card_audit (card, id);
)",
    // 4: carrying the wanted lists out (cardholder.h): the changes each
    // terminal still needs, and the last attempt at each card on each
    // terminal (error '' = done). Both are read by terminal, and by card for
    // where one card stands everywhere.
    R"(
CREATE TABLE pending_cards (
  terminal text COLLATE "C" NOT NULL,
  card     bigint NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   text NOT NULL,
  reason   text NOT NULL,
  staff    text NOT NULL,
  name     text NOT NULL,
  since    timestamptz NOT NULL,
  tried    timestamptz,
  error    text NOT NULL DEFAULT '',
  PRIMARY KEY (terminal, card)
);
CREATE INDEX pending_cards_card ON pending_cards (card);
CREATE TABLE card_outcomes (
  terminal text COLLATE "C" NOT NULL,
  card     bigint NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   text NOT NULL,
  at       timestamptz NOT NULL,
  error    text NOT NULL,
  PRIMARY KEY (terminal, card)
);
CREATE INDEX card_outcomes_card ON card_outcomes (card);
)",
    // 5: every attempt at a card change on a terminal (see the SQLite
    // schema).
    R"(
CREATE TABLE card_history (
  id       bigserial PRIMARY KEY,
  terminal text COLLATE "C" NOT NULL,
  card     bigint NOT NULL CHECK (card BETWEEN 0 AND 4294967295),
  change   text NOT NULL,
  at       timestamptz NOT NULL,
  error    text NOT NULL
);
CREATE INDEX card_history_card ON card_history (card, id);
INSERT INTO card_history (terminal, card, change, at, error)
  SELECT terminal, card, change, at, error FROM card_outcomes ORDER BY at;
)",
    // 6: where each sink that delivers punches onward has got (sink.h).
    R"(
CREATE TABLE sinks (
  name       text COLLATE "C" PRIMARY KEY,
  position   bigint NOT NULL,
  batch_last bigint NOT NULL,
  batch_id   text NOT NULL,
  batch_file text NOT NULL,
  stopped    text NOT NULL,
  stopped_at timestamptz,
  delivered  timestamptz,
  failures   bigint NOT NULL,
  last_error text NOT NULL
);
)",
    // 7: a terminal's memory recognised by its first record beside its last
    // (see the SQLite schema).
    R"(
ALTER TABLE terminals ADD COLUMN mark_first bytea CHECK (octet_length(mark_first) = 12);
ALTER TABLE terminals ADD COLUMN accept_memory smallint NOT NULL DEFAULT 0;
UPDATE terminals SET mark_first = (SELECT p.bytes FROM punches p
  WHERE p.terminal = terminals.name AND p.position = 0 ORDER BY p.id DESC LIMIT 1)
  WHERE mark_positions > 0;
)",
    // 8: the collectors sharing the database: each live one holds the
    // advisory lock its id names (postgres_claims.h); `fleet` is a digest of
    // the terminals it polls, so that those polling the same share them.
    R"(
CREATE TABLE collectors (
  id      text COLLATE "C" PRIMARY KEY,
  name    text NOT NULL,
  fleet   text NOT NULL,
  started timestamptz NOT NULL DEFAULT now()
);
)",
    // 9: punches an HR system refused, and an HR sink's Shift Type sync
    // (see the SQLite schema).
    R"(
ALTER TABLE terminals ADD COLUMN complete_to timestamptz;
ALTER TABLE sinks ADD COLUMN shift_sync timestamp(0);
CREATE TABLE sink_refusals (
  sink       text COLLATE "C" NOT NULL,
  punch      bigint NOT NULL REFERENCES punches (id),
  reason     text NOT NULL,
  refused_at timestamptz NOT NULL,
  again      smallint NOT NULL DEFAULT 0,
  PRIMARY KEY (sink, punch)
);
)",
    // 10: who keeps each cardholder, and each HR source's last read (see
    // the SQLite schema).
    R"(
ALTER TABLE cardholders ADD COLUMN owner text NOT NULL DEFAULT '';
CREATE TABLE holder_sources (
  name       text COLLATE "C" PRIMARY KEY,
  read_at    timestamptz NOT NULL,
  outcome    text NOT NULL,
  success_at timestamptz,
  report     text NOT NULL
);
)",
};

}  // namespace

std::span<const std::string_view> PostgresSchema() { return kVersions; }

}  // namespace tallygate::collector
