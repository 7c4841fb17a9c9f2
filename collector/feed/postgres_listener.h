// Punches stored by other collectors on the same PostgreSQL database: every
// storing transaction tells others on commit (ListenForPunches), and the
// listener, on a connection and thread of its own, turns each such news into
// PunchSignal::Stored(). A lost connection is made again with a growing
// wait; notifications sent meanwhile are lost, so it signals once after
// making it again (readers go on from their last id and miss nothing).
#ifndef TALLYGATE_COLLECTOR_FEED_POSTGRES_LISTENER_H_
#define TALLYGATE_COLLECTOR_FEED_POSTGRES_LISTENER_H_

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "collector/feed/punch_signal.h"

namespace tallygate::collector {

class PostgresListener {
 public:
  // Told when listening stops (`failed`, with the reason) and when it
  // starts again; never per notification.
  using Report = std::function<void(const std::string& text, bool failed)>;

  // Starts listening on `database` (a PostgreSQL one); `signal` outlives
  // the listener.
  PostgresListener(std::string database, PunchSignal& signal, Report report);
  ~PostgresListener();  // stops within kListenLook
  PostgresListener(const PostgresListener&) = delete;
  PostgresListener& operator=(const PostgresListener&) = delete;

 private:
  void Run(std::stop_token stop);

  const std::string database_;
  PunchSignal& signal_;
  const Report report_;
  std::jthread thread_;
};

// How long a wait for a notification lasts before the listener looks
// whether it is to stop.
inline constexpr std::chrono::milliseconds kListenLook{200};

// A listener when `database` is PostgreSQL; null for SQLite, where this
// collector is the only writer and signals itself.
std::unique_ptr<PostgresListener> ListenerFor(const std::string& database, PunchSignal& signal,
                                              PostgresListener::Report report);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_FEED_POSTGRES_LISTENER_H_
