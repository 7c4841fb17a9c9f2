// A short fault soak on each transport: the CI-sized version of
// tallygate-soak's. Every injected fault must give the outcome it allows,
// no call may hang, and no descriptor may be left open.
#include <gtest/gtest.h>

#include <string>

#include "sim/client/sim_process.h"
#include "soak/probe.h"
#include "soak/soak_run.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate::soak {
namespace {

using testing::ScopedEnv;
using testing::SimProcess;
using testing::TempDir;

// Enough calls for every fault kind to come up a few times.
constexpr int kExchanges = 300;
constexpr double kFaultRate = 0.12;
// Sanitizers and a busy machine slow the calls, not the terminal's waits.
constexpr double kSlack = 2.0;

class ShortSoak : public ::testing::TestWithParam<Transport> {};

TEST_P(ShortSoak, EveryOutcomeMatchesTheFault) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim not built";
  TempDir home, data;
  ScopedEnv home_env("TALLYGATE_HOME", home.path().string());
  ScopedEnv locale_env("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8");
  SoakOptions options;
  options.transport = GetParam();
  options.exchanges = kExchanges;
  options.fault_rate = kFaultRate;
  options.seed = 11;
  options.slack_seconds = kSlack;
  options.folder = data.path();

  const int descriptors = OpenDescriptors();
  SoakFigures figures;
  {
    SimProcess sim(SimArguments(options));
    ScopedEnv com_env("TALLYGATE_COM1", sim.pty_path());
    figures = RunSoak(options, sim);
  }
  std::string findings;
  for (const std::string& finding : figures.findings) findings += "\n  " + finding;

  EXPECT_EQ(figures.Violations(), 0) << findings;
  EXPECT_EQ(figures.false_successes, 0);
  EXPECT_EQ(figures.collection_violations, 0);
  EXPECT_EQ(figures.unexpected_failures, 0) << findings;
  EXPECT_GE(figures.exchanges, kExchanges);
  EXPECT_GT(figures.faulted_calls, 10);
  EXPECT_GT(figures.expected_failures, 0);
  EXPECT_GT(figures.collections, 0);
  EXPECT_GT(figures.records_collected, 0);
  EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor was left open";
}

INSTANTIATE_TEST_SUITE_P(Transports, ShortSoak, ::testing::Values(Transport::kTcp, Transport::kPty),
                         [](const auto& test) { return std::string(TransportName(test.param)); });

}  // namespace
}  // namespace tallygate::soak
