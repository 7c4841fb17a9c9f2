#include "sim/app/simulator.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "sim/model/record_memory.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/wire_pacer.h"

namespace tallygate::sim {
namespace {

// A fleet holds a listening socket and a client for each terminal, more
// than the usual soft limit of 1024 descriptors: the soft limit is raised
// as far as the hard one allows.
void ReserveDescriptors(rlim_t needed) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed) return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    throw std::system_error(errno, std::generic_category(), "setrlimit RLIMIT_NOFILE");
  }
}

HostLineOptions LineOptions(const SimOptions& options, bool can_close) {
  HostLineOptions line;
  line.char_time = options.wire_speed ? kSerialCharTime : std::chrono::nanoseconds{0};
  line.silence = options.silence;
  line.can_close = can_close;
  return line;
}

}  // namespace

Simulator::Simulator(const SimOptions& options)
    : output_(options.quiet),
      punches_(stations_, output_),
      control_(stations_, fault_plans_, punches_, options.shows_memory()),
      signals_(loop_, output_),
      control_channel_(control_, output_, loop_, options.exit_on_eof),
      fleet_(options.tcp_terminals > 0) {
  if (fleet_) {
    // Terminal K's data, and its fault rules' draws, are a single
    // terminal's with seed S+K-1.
    for (size_t k = 0; k < options.tcp_terminals; ++k) {
      const uint32_t seed = options.seed + static_cast<uint32_t>(k);
      AddStation(options, options.addresses.front(), seed, fault_plans_.emplace_back(seed));
    }
  } else {
    // Terminals of one bus hold memories of their own, as real ones do (a
    // collector knows a terminal by its records): the K-th address's data
    // are seeded S+K-1. Their fault rules draw from one plan.
    FaultPlan& shared = fault_plans_.emplace_back(options.seed);
    uint32_t seed = options.seed;
    for (uint8_t address : options.addresses) AddStation(options, address, seed++, shared);
  }
  for (FaultPlan& plan : fault_plans_) {
    for (const FaultRule& rule : options.faults) plan.Add(rule);
  }

  loop_.Add(signals_);
  loop_.Add(control_channel_);
  if (options.tcp()) ServeTcp(options);
  if (options.pty) {
    // Without a fleet there is one plan; a fleet has no pty.
    pty_ = std::make_unique<PtyBus>(all_terminals_, fault_plans_.front(), LineOptions(options, false), output_);
    loop_.Add(*pty_);
  }
  punches_.SetRate(options.punch_rate, Clock::now());
  loop_.Add(punches_);
}

void Simulator::AddStation(const SimOptions& options, uint8_t address, uint32_t seed, FaultPlan& faults) {
  Station& station = stations_.emplace_back(address, seed);
  station.faults = &faults;
  TerminalState& state = station.terminal.state();
  ReplaceRecords(state, SyntheticRecords(options.records, seed));
  state.cards = SyntheticCards(options.cards, seed);
  state.storage_mode = options.storage_mode;
  state.record_capacity = options.capacity.value_or(kDefaultRecordCapacity);
  all_terminals_.Attach(station.terminal);
}

// Without a fleet the first terminal alone serves TCP; in a fleet every
// terminal has its port, consecutive from the first unless free ports were
// asked for.
void Simulator::ServeTcp(const SimOptions& options) {
  const HostLineOptions line = LineOptions(options, true);
  const uint16_t first = options.tcp_port.value_or(kDefaultTcpPort);
  const size_t count = fleet_ ? stations_.size() : 1;
  if (fleet_) ReserveDescriptors(static_cast<rlim_t>(2 * count + 64));
  for (size_t k = 0; k < count; ++k) {
    Station& station = stations_[k];
    station.tcp_number = static_cast<int>(k + 1);
    if (fleet_) station.log_prefix = "#" + std::to_string(k + 1) + " ";
    const auto port = static_cast<uint16_t>(first == 0 ? 0 : first + k);
    station.tcp = std::make_unique<TcpListener>(options.listen, port, station.alone, *station.faults, line,
                                                output_, station.log_prefix);
    loop_.Add(*station.tcp);
  }
}

void Simulator::Run() {
  for (const Station& station : stations_) {
    if (!station.tcp) continue;
    std::string line = "tcp " + station.tcp->address() + " " + std::to_string(station.tcp->port());
    if (fleet_) line += " terminal=" + std::to_string(station.tcp_number);
    output_.Line(line);
  }
  if (pty_) output_.Line("pty " + pty_->path());
  output_.Line("ready");
  loop_.Run();
}

}  // namespace tallygate::sim
