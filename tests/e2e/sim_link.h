// End-to-end tests: the link library's Connect_v70 object against the
// simulated terminal program, tallygate-sim, as a separate process.
//
// A test derives from SimLinkTest, parameterised by the transport, and
// calls Start with the simulator's extra options. Start runs the simulator
// with one terminal at address 1 (TCP on a free port and a pseudo-terminal
// bus), sets up the object's environment (its own settings folder, the
// system locale, TALLYGATE_COM1 naming the pseudo-terminal) and links the
// object: TCP in Mode 1 with Connect_Net, the serial bus in Mode 0 with
// SetPort(1).
#ifndef TALLYGATE_TESTS_E2E_SIM_LINK_H_
#define TALLYGATE_TESTS_E2E_SIM_LINK_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/client/sim_process.h"
#include "tallygate/connect_v70.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate::testing {

enum class Transport { kTcp, kPty };

std::string TransportName(Transport transport);
void PrintTo(Transport transport, std::ostream* os);

// The generated code tables beside the built library, or empty when the
// build does not say where they are.
std::string GeneratedRmTxt();

class SimLinkTest : public ::testing::TestWithParam<Transport> {
 protected:
  struct Setup {
    std::vector<std::string> sim_args;      // after the transports and --address 1
    std::string locale = "en_US.UTF-8";     // TALLYGATE_SYSTEM_LOCALE
    bool rm_txt = false;                    // put the generated rm.txt in the settings folder
  };

  void TearDown() override;

  // Starts the simulator and links a fresh object over GetParam()'s
  // transport. Fails the test (fatally) when that does not work, and skips
  // it when tallygate-sim was not built.
  void Start(Setup setup);
  void Start(std::vector<std::string> sim_args = {}) { Start(Setup{std::move(sim_args)}); }

  // For the commands that use the serial bus whatever the mode: opens COM1
  // in Mode 0 and, for the TCP transport, goes back to Mode 1 and connects
  // again, so the object has both.
  void OpenSerialPortToo();

  bool tcp() const { return GetParam() == Transport::kTcp; }
  Connect_v70& object() { return *object_; }
  SimProcess& sim() { return *sim_; }

  // The simulator's status answer and its detail lines.
  std::vector<std::string> Status();
  // Whether a detail line of the status reads exactly `line` (after its
  // indentation).
  bool StatusShows(const std::string& line);

  // A file's lines without their CR LF; fails the test when a line does not
  // end in CR LF.
  static std::vector<std::string> CrLfLines(const std::filesystem::path& file);

  TempDir home_;
  TempDir data_;  // collection folder
  std::optional<ScopedEnv> home_env_;
  std::optional<ScopedEnv> locale_env_;
  std::optional<ScopedEnv> com_env_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<Connect_v70> object_;
};

// Instantiates a SimLinkTest suite once per transport.
#define INSTANTIATE_FOR_BOTH_TRANSPORTS(suite)                                        \
  INSTANTIATE_TEST_SUITE_P(Transports, suite,                                          \
                           ::testing::Values(Transport::kTcp, Transport::kPty),        \
                           [](const auto& test) { return TransportName(test.param); })

// Runs `start` (a Start call) and leaves the test when it failed or skipped.
#define ASSERT_STARTED(start)                      \
  do {                                             \
    start;                                         \
    if (HasFatalFailure() || IsSkipped()) return;  \
  } while (0)

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_E2E_SIM_LINK_H_
