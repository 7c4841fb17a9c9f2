// The serial side: a pseudo-terminal standing in for the bus, served by all
// the simulated terminals.
//
// The host opens the slave path like any serial device. The slave is made
// raw before anyone opens it, so nothing the host writes is echoed or
// rewritten, and the simulator keeps a slave descriptor of its own open
// (never read) so that the master does not report end of file each time the
// host closes its port.
#ifndef TALLYGATE_SIM_APP_PTY_BUS_H_
#define TALLYGATE_SIM_APP_PTY_BUS_H_

#include <string>

#include "sim/app/event_loop.h"
#include "sim/app/output.h"
#include "sim/app/stream_pump.h"
#include "sim/app/unique_fd.h"
#include "sim/model/host_line.h"

namespace tallygate::sim {

class PtyBus final : public Channel {
 public:
  // Creates the pseudo-terminal. Throws std::system_error on failure.
  PtyBus(Bus& bus, FaultPlan& faults, HostLineOptions options, Output& output);

  // The slave's path, for the host to open.
  const std::string& path() const { return path_; }

  void Watch(std::vector<pollfd>& fds) override;
  void Service(std::span<const pollfd> fds, TimePoint now) override;
  std::optional<TimePoint> next_deadline() const override { return line_.next_deadline(); }

 private:
  Output& output_;
  UniqueFd master_;
  UniqueFd slave_;  // held open only
  std::string path_;
  HostLine line_;
  StreamPump pump_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_PTY_BUS_H_
