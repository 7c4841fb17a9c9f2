// The whole program: terminals seeded from the options, the fault plans,
// the transports, card swipes, the control channel and signals, on one
// event loop.
#ifndef TALLYGATE_SIM_APP_SIMULATOR_H_
#define TALLYGATE_SIM_APP_SIMULATOR_H_

#include <deque>
#include <memory>

#include "sim/app/control.h"
#include "sim/app/control_channel.h"
#include "sim/app/event_loop.h"
#include "sim/app/options.h"
#include "sim/app/output.h"
#include "sim/app/pty_bus.h"
#include "sim/app/punch_feed.h"
#include "sim/app/signal_channel.h"
#include "sim/app/station.h"
#include "sim/model/bus.h"
#include "sim/model/fault_plan.h"

namespace tallygate::sim {

class Simulator {
 public:
  // Sets everything up. Throws std::system_error when a transport cannot be
  // set up (port in use, no pseudo-terminals, too few descriptors).
  explicit Simulator(const SimOptions& options);

  // Announces the transports and "ready", then serves until quit, a signal
  // or (with --exit-on-eof) the end of standard input.
  void Run();

 private:
  void AddStation(const SimOptions& options, uint8_t address, uint32_t seed, FaultPlan& faults);
  void ServeTcp(const SimOptions& options);

  Output output_;
  EventLoop loop_;
  std::deque<Station> stations_;  // stable addresses for the buses
  Bus all_terminals_;             // the serial bus
  // One a terminal in a fleet, else one for all: see Station::faults.
  std::deque<FaultPlan> fault_plans_;
  PunchFeed punches_;
  Control control_;
  SignalChannel signals_;
  ControlChannel control_channel_;
  bool fleet_;
  std::unique_ptr<PtyBus> pty_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_SIMULATOR_H_
