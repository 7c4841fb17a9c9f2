// The advisory locks through which collectors sharing a PostgreSQL database
// claim terminals and sinks and show that they are alive, and what the
// server's pg_locks says of them. A session-level lock lasts exactly as long
// as its session: a collector that dies, however, lets go of all of them.
#ifndef TALLYGATE_COLLECTOR_STORE_POSTGRES_CLAIMS_H_
#define TALLYGATE_COLLECTOR_STORE_POSTGRES_CLAIMS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/store/sql_session.h"

namespace tallygate::collector {

// An advisory lock's key: FNV-1a of the text, computed here so that every
// collector, whatever the server's version, derives the same key.
int64_t LockKey(std::string_view what);

// The keys whose locks are claims and signs of life.
inline int64_t TerminalKey(std::string_view terminal) {
  return LockKey("terminal:" + std::string(terminal));
}
inline int64_t CollectorKey(std::string_view id) {
  return LockKey("collector:" + std::string(id));
}

// A row of the collectors table whose session holds its lock.
struct LiveCollector {
  std::string id;
  std::string name;
  std::string fleet;
};

// Who holds what, as pg_locks and the collectors table say at one moment.
class ClaimsPicture {
 public:
  // Reads it through `session`. Throws StoreError.
  explicit ClaimsPicture(SqlSession& session);

  // The live collectors, by the pid of their session.
  const std::map<int64_t, LiveCollector>& live() const { return live_; }
  // The ids of the rows whose lock nobody holds: collectors gone.
  const std::vector<std::string>& gone() const { return gone_; }
  // The holder of the terminal's claim: absent while nobody holds it, null
  // for a session that is no live collector's.
  std::optional<const LiveCollector*> HolderOf(std::string_view terminal) const;

 private:
  std::map<int64_t, int64_t> locks_;  // every advisory lock of the database: its holder's pid
  std::map<int64_t, LiveCollector> live_;
  std::vector<std::string> gone_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_POSTGRES_CLAIMS_H_
