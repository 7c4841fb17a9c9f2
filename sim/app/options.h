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

struct SimOptions {
  std::optional<uint16_t> tcp_port;  // --tcp-port
  std::string listen = "127.0.0.1";
  bool pty = false;
  std::vector<uint8_t> addresses;  // first one also serves TCP
  size_t records = 0;
  size_t cards = 0;
  uint32_t seed = 1;
  uint8_t storage_mode = 1;
  std::vector<FaultRule> faults;  // --fault and --scenario, in order
  bool wire_speed = false;
  bool quiet = false;
  bool exit_on_eof = false;
  std::chrono::milliseconds silence{100};

  // TCP runs when asked for, or when no transport is named.
  bool tcp() const { return tcp_port.has_value() || !pty; }
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
