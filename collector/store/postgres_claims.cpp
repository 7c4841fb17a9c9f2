#include "collector/store/postgres_claims.h"

namespace tallygate::collector {

int64_t LockKey(std::string_view what) {
  uint64_t hash = 14695981039346656037u;
  for (char c : "tallygate-collector/" + std::string(what)) {
    hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211u;
  }
  return static_cast<int64_t>(hash);
}

ClaimsPicture::ClaimsPicture(SqlSession& session) {
  // A bigint key shows as its high half (classid) and low half (objid).
  session.Query(
      "SELECT classid::bigint, objid::bigint, pid FROM pg_locks WHERE locktype = 'advisory'"
      " AND granted AND objsubid = 1"
      " AND database = (SELECT oid FROM pg_database WHERE datname = current_database())",
      {}, [&](const SqlRow& row) {
        const uint64_t key = static_cast<uint64_t>(row.Int(0)) << 32 |
                             static_cast<uint64_t>(row.Int(1));
        locks_[static_cast<int64_t>(key)] = row.Int(2);
      });
  session.Query("SELECT id, name, fleet FROM collectors", {}, [&](const SqlRow& row) {
    LiveCollector collector{row.Text(0), row.Text(1), row.Text(2)};
    const auto lock = locks_.find(CollectorKey(collector.id));
    if (lock == locks_.end()) {
      gone_.push_back(std::move(collector.id));
    } else {
      live_[lock->second] = std::move(collector);
    }
  });
}

std::optional<const LiveCollector*> ClaimsPicture::HolderOf(std::string_view terminal) const {
  const auto lock = locks_.find(TerminalKey(terminal));
  if (lock == locks_.end()) return std::nullopt;
  const auto holder = live_.find(lock->second);
  return holder == live_.end() ? nullptr : &holder->second;
}

}  // namespace tallygate::collector
