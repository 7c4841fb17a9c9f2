// The library against the hostile peers of hostile_peer.h, over TCP: every
// call must come back within its own wait plus a slack, with a failure (or,
// for a collection, with what it really got and a description of what it
// did not), memory must not grow with what the peer sends, and nothing may
// crash.
#ifndef TALLYGATE_SOAK_HOSTILE_RUNS_H_
#define TALLYGATE_SOAK_HOSTILE_RUNS_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "soak/hostile_peer.h"

namespace tallygate::soak {

struct HostileOptions {
  int64_t flood_bytes = 100LL * 1024 * 1024;
  std::chrono::seconds flood_limit{120};  // the flood scenario stops here at the latest
  double slack_seconds = 0.5;
  std::filesystem::path folder;           // for collected files
  std::vector<PeerKind> peers = {PeerKind::kFlood, PeerKind::kHalfReply, PeerKind::kCloseMidway,
                                 PeerKind::kResetMidway, PeerKind::kSilent};
};

struct TimedCall {
  std::string peer;
  std::string call;
  double seconds = 0;
  double bound = 0;   // the call's own wait, before the slack
  bool right = true;  // the outcome is what that peer allows
  std::string outcome;
};

struct HostileFigures {
  std::vector<TimedCall> calls;
  int violations = 0;  // calls over their bound plus slack, or with a wrong outcome
  double worst_margin_seconds = -1e9;
  int64_t flood_bytes_sent = 0;
  int flood_calls = 0;
  double flood_seconds = 0;
  int64_t resident_kib_before = 0, resident_kib_after = 0, resident_kib_most = 0;
  int descriptors_before = 0, descriptors_after = 0;
  std::vector<std::string> findings;
};

// Runs the peers' scenarios in turn on the calling thread, which must not
// have a TCP connection of its own open.
HostileFigures RunHostilePeers(const HostileOptions& options);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_HOSTILE_RUNS_H_
