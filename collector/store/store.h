// Where the collector keeps punches, and the card lists the company wants:
// two stores (SQLite and PostgreSQL) with one schema ("Schema" in
// docs/collector.md), each seen by its users through the role they need:
//
//   PollLedger   (poll_ledger.h)   the poller's writes: marks, pages, polls
//   PunchReader  (punch_reader.h)  searches, exports, timesheets, punches after an id
//   CardBook     (card_book.h)     card lists collected and wanted, card work
//   SinkLedger   (sink_ledger.h)   how far each sink has got
//
// Every method is one transaction: it commits whole or changes nothing, and
// throws StoreError (store_error.h) when the store cannot do it. A store may
// be shared by threads: its calls run one at a time, on its one connection.
#ifndef TALLYGATE_COLLECTOR_STORE_STORE_H_
#define TALLYGATE_COLLECTOR_STORE_STORE_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "collector/store/card_book.h"
#include "collector/store/poll_ledger.h"
#include "collector/store/punch_reader.h"
#include "collector/store/sink_ledger.h"
#include "collector/store/store_error.h"

namespace tallygate::collector {

// What a store tells the process that shares it, each on the thread whose
// call it concerns; any may be empty.
struct StoreEvents {
  // A commit added punches (told after the commit).
  std::function<void()> stored;
  // A call did not answer in time (StoreTimeout, its text): told once, until
  // a call answers again, which is told to `answered`.
  std::function<void(const std::string& error)> unanswered;
  std::function<void()> answered;
};

class Store : public PollLedger, public PunchReader, public CardBook, public SinkLedger {
 public:
  ~Store() override = default;

  // "sqlite:/var/lib/tallygate/punches.db" or
  // "postgresql://user@host/db" (the connection string without a password).
  virtual std::string Describe() const = 0;

  // From now on, tells `events`; called before the store is shared.
  virtual void Tell(StoreEvents events) = 0;

  // Throws StoreError unless the store answers a trivial query.
  virtual void Check() = 0;
};

// News of punches other processes commit to the same database, as they
// commit (PostgreSQL's LISTEN, on a connection of its own).
class PunchNews {
 public:
  virtual ~PunchNews() = default;
  // Waits up to `wait` for news; how many commits were heard (0: none).
  // Throws StoreError when the connection is lost.
  virtual int Wait(std::chrono::milliseconds wait) = 0;
};

// Starts listening for punches committed to `database`: null for SQLite,
// where one collector writes and tells itself (StoreEvents::stored). Throws
// StoreError.
std::unique_ptr<PunchNews> ListenForPunches(const std::string& database);

// Opens the store `database` names and brings its schema up to date:
//   ""                          $XDG_STATE_HOME/tallygate/punches.db
//                               (~/.local/state/... without it)
//   "sqlite:PATH" or a PATH     SQLite (the folder is created)
//   "postgresql://...", "postgres://...", or "key=value ..."  PostgreSQL
// Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string& database);

// True when `database` names a PostgreSQL server (a URI or libpq's
// key=value form) rather than a SQLite file.
bool IsPostgres(const std::string& database);

// `database` as it may be shown: a password in it replaced by "***".
std::string WithoutPassword(const std::string& database);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_STORE_H_
