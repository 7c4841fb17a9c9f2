// The serial device going away: the simulator's pseudo-terminal vanishing
// in the middle of a collection, a line hung up while a command waits.
// Clean failures, no hang, what was collected kept and the loss described,
// and the next SetPort on a working device works.
#include <gtest/gtest.h>

#include <string>

#include "sim/client/sim_process.h"
#include "soak/device_loss.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate::soak {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(SerialDeviceLossTest, CallsFailCleanlyAndTheNextPortWorks) {
  if (!testing::SimProcess::Available()) GTEST_SKIP() << "tallygate-sim not built";
  TempDir home, data;
  ScopedEnv home_env("TALLYGATE_HOME", home.path().string());
  ScopedEnv locale_env("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8");
  DeviceLossOptions options;
  options.slack_seconds = 2.0;  // sanitizers and a busy machine
  options.folder = data.path();

  const DeviceLossFigures figures = RunDeviceLoss(options);
  std::string findings;
  for (const std::string& finding : figures.findings) findings += "\n  " + finding;
  EXPECT_EQ(figures.violations, 0) << findings;
  EXPECT_GE(figures.calls.size(), 10u);
  // The first page came whole before the simulator went.
  EXPECT_GE(figures.records_before_loss, 256);
  EXPECT_LT(figures.records_before_loss, options.records);
  EXPECT_EQ(figures.descriptors_after, figures.descriptors_before) << "a descriptor was left open";
}

}  // namespace
}  // namespace tallygate::soak
