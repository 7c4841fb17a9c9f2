// The command line of tallygate-sim (see --help, or AddOptions).
#ifndef TALLYGATE_SIM_APP_OPTIONS_H_
#define TALLYGATE_SIM_APP_OPTIONS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/model/fault_rule.h"

namespace CLI {
class App;
}

namespace tallygate::sim {

inline constexpr uint16_t kDefaultTcpPort = 1001;
inline constexpr size_t kMaxTcpTerminals = 1000;

struct SimOptions {
  std::optional<uint16_t> tcp_port;  // --tcp-port
  std::string listen = "127.0.0.1";
  bool pty = false;
  std::vector<uint8_t> addresses;  // first one also serves TCP
  size_t tcp_terminals = 0;        // --tcp-terminals: a fleet, each on its own port; 0 for none
  size_t records = 0;
  size_t cards = 0;
  uint32_t seed = 1;
  uint8_t storage_mode = 1;
  std::optional<size_t> capacity;  // --capacity, else kDefaultRecordCapacity
  double punch_rate = 0;           // card swipes a second at each terminal
  std::vector<FaultRule> faults;  // --fault and --scenario, in order
  bool wire_speed = false;
  bool quiet = false;
  bool exit_on_eof = false;
  std::chrono::milliseconds silence{100};

  // TCP runs when asked for, or when no transport is named.
  bool tcp() const { return tcp_port.has_value() || !pty; }
  // Whether status always tells the memory's capacity and refusals.
  bool shows_memory() const { return tcp_terminals > 0 || capacity.has_value() || punch_rate > 0; }
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Declares tallygate-sim's options, its help text and its checks on `app`;
// parsing fills `options`, --fault and --scenario rules in the order given.
void AddOptions(CLI::App& app, SimOptions& options);

// Reads fault rules from a scenario file: one rule a line, blank lines and
// '#' comments ignored. Throws UsageError naming the file and line.
std::vector<FaultRule> ReadScenario(const std::string& path);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_OPTIONS_H_
