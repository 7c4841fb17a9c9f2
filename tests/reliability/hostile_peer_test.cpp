// The library against broken and hostile TCP peers: a 100 MB flood, half a
// reply and a stall, a close and a reset in the middle of a collection, a
// peer that never answers. Calls come back within their waits with what
// they really got, memory does not grow with the flood, descriptors are
// not left open.
#include <gtest/gtest.h>

#include <string>

#include "soak/hostile_runs.h"
#include "soak/probe.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate::soak {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

constexpr double kSlack = 2.0;  // sanitizers and a busy machine
constexpr int64_t kMemoryLimitKiB = 32 * 1024;

class HostilePeerTest : public ::testing::TestWithParam<PeerKind> {};

TEST_P(HostilePeerTest, CallsEndInTimeAndTellTheTruth) {
  TempDir home, data;
  ScopedEnv home_env("TALLYGATE_HOME", home.path().string());
  ScopedEnv locale_env("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8");
  HostileOptions options;
  options.peers = {GetParam()};
  options.slack_seconds = kSlack;
  options.folder = data.path();

  const HostileFigures figures = RunHostilePeers(options);
  std::string findings;
  for (const std::string& finding : figures.findings) findings += "\n  " + finding;
  EXPECT_EQ(figures.violations, 0) << findings;
  EXPECT_FALSE(figures.calls.empty());
  EXPECT_EQ(figures.descriptors_after, figures.descriptors_before) << "a descriptor was left open";
  if (GetParam() == PeerKind::kFlood) {
    EXPECT_GE(figures.flood_bytes_sent, options.flood_bytes) << "the flood did not get through";
  }
  // AddressSanitizer keeps freed memory aside, so only a plain build's
  // figure says anything; LeakSanitizer covers the sanitizer build.
  if (!UnderAddressSanitizer()) {
    EXPECT_LT(figures.resident_kib_most - figures.resident_kib_before, kMemoryLimitKiB);
  }
}

INSTANTIATE_TEST_SUITE_P(Peers, HostilePeerTest,
                         ::testing::Values(PeerKind::kFlood, PeerKind::kHalfReply, PeerKind::kCloseMidway,
                                           PeerKind::kResetMidway, PeerKind::kSilent),
                         [](const auto& test) {
                           switch (test.param) {
                             case PeerKind::kFlood: return std::string("Flood");
                             case PeerKind::kHalfReply: return std::string("HalfReply");
                             case PeerKind::kCloseMidway: return std::string("CloseMidway");
                             case PeerKind::kResetMidway: return std::string("ResetMidway");
                             case PeerKind::kSilent: return std::string("Silent");
                           }
                           return std::string("Unknown");
                         });

}  // namespace
}  // namespace tallygate::soak
