// The fault soak on one transport: a long run of calls against the
// simulated terminal, a fraction of them with a fault injected into the
// terminal's reply, each outcome checked against the fault.
//
// Calls are drawn from the read commands, record writes and the two
// collections. Before a faulted call the soak adds a fault rule for the
// next matching frame; afterwards it checks success or failure, the value
// returned, the time taken, and for collections the file written (see
// collection_audit.h). The terminal's contents are tracked as the calls
// change them, so every value has an expected answer.
//
// The run makes its own Connect_v70 on the calling thread; run each
// transport on a thread of its own to soak both at once.
#ifndef TALLYGATE_SOAK_SOAK_RUN_H_
#define TALLYGATE_SOAK_SOAK_RUN_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/client/sim_process.h"
#include "soak/expectation.h"

namespace tallygate::soak {

enum class Transport { kTcp, kPty };
const char* TransportName(Transport transport);

struct SoakOptions {
  Transport transport = Transport::kTcp;
  int exchanges = 10000;     // frames sent, a collection counting its pages
  double fault_rate = 0.05;  // share of calls (and of collection pages) faulted
  uint32_t seed = 1;         // of the draws, and of the simulator's data
  int records = 300;         // the simulator's synthetic records and cards
  int cards = 40;
  double slack_seconds = 0.5;  // allowed beyond a call's own wait
  std::filesystem::path folder;  // for the collected files
  // Bumped after every call, for a watchdog.
  std::atomic<int64_t>* heartbeat = nullptr;
};

// The simulator a soak needs: one terminal at address 1 with the options'
// records and cards, on TCP or a pseudo-terminal.
std::vector<std::string> SimArguments(const SoakOptions& options);

struct SoakFigures {
  std::string transport;
  int calls = 0;
  int exchanges = 0;
  int faulted_calls = 0;
  std::array<int, kFaultKinds> injected{};  // by Fault
  int expected_failures = 0;
  int failures = 0;

  // Must stay 0.
  int false_successes = 0;  // success reported where the reply was spoiled
  int wrong_values = 0;     // success reported with a value the terminal does not hold
  int overruns = 0;         // calls that took longer than their wait plus the slack
  int collection_violations = 0;
  int reconnect_failures = 0;

  // Reported, not fatal: a failure where the injected fault should not
  // have caused one.
  int unexpected_failures = 0;

  double longest_call_seconds = 0;
  double worst_margin_seconds = -1e9;  // largest (time taken - wait); negative is early
  int reconnects = 0;

  int collections = 0;
  int complete_collections = 0;
  int described_partial_collections = 0;
  int failed_collections = 0;
  int64_t records_held = 0;       // summed over collections
  int64_t records_collected = 0;  // exact lines
  int64_t records_lost_described = 0;
  int64_t misplaced_lines = 0;

  int descriptors_before = 0, descriptors_after = 0, descriptors_most = 0;
  int64_t resident_kib_first = 0, resident_kib_last = 0, resident_kib_most = 0;
  double seconds = 0;

  std::vector<std::string> findings;  // the first violations and surprises

  int Violations() const {
    return false_successes + wrong_values + overruns + collection_violations + reconnect_failures;
  }
};

// Runs the soak against `sim`, which SimArguments started. Throws
// std::runtime_error when the object cannot be linked to the simulator at
// all.
SoakFigures RunSoak(const SoakOptions& options, testing::SimProcess& sim);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_SOAK_RUN_H_
