// One simulated terminal and what the program keeps beside it: the seed of
// its made-up data, the swipes at its reader, the fault rules its lines
// apply, and its TCP listener when it serves one.
#ifndef TALLYGATE_SIM_APP_STATION_H_
#define TALLYGATE_SIM_APP_STATION_H_

#include <cstdint>
#include <memory>
#include <string>

#include "sim/app/tcp_listener.h"
#include "sim/model/bus.h"
#include "sim/model/fault_plan.h"
#include "sim/model/punch_source.h"
#include "sim/model/terminal.h"

namespace tallygate::sim {

struct Station {
  Station(uint8_t address, uint32_t data_seed) : terminal(address), seed(data_seed), punches(data_seed) {
    alone.Attach(terminal);
  }
  // `alone` points at `terminal`.
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  Terminal terminal;
  uint32_t seed;  // of its synthetic records and cards, and of its punches
  PunchSource punches;
  Bus alone;  // the terminal by itself, behind its TCP listener
  // Its own in a fleet; otherwise the one plan every terminal and line
  // shares, where a frame counts once however many terminals answer it.
  FaultPlan* faults = nullptr;
  std::unique_ptr<TcpListener> tcp;
  int tcp_number = 0;      // K of "#K" among the terminals served over TCP; 0 without TCP
  std::string log_prefix;  // "#K " in a fleet, where addresses repeat
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_STATION_H_
