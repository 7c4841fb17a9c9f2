// What the collector costs, against tallygate-sim running as a process of
// its own.
//
// Serial bus: one terminal on the simulator's pseudo-terminal, the wire
// paced at 19200 bit/s, holding 32,757 records. First a full collection
// into SQLite (about 300 s). With --skip-full the store's mark is made
// instead by collecting a second simulator with the same seed and no pacing
// (the same records) into the same store under the same terminal name. Then
// 10 swipes fill the terminal's memory (32,767 records, the most it holds)
// and one incremental poll over the paced wire fetches them: its time, and
// the bytes the line sent and received (counted by the line's trace).
//
// TCP fleet: 200 terminals of one simulator, 1,000 records each, polled by
// the collector's fleet (Fleet::PollOnce, tcp_parallel terminals at once)
// into SQLite and into PostgreSQL (a throwaway server): the first
// collection; a round with nothing new that confirms each terminal's last
// record (verify every poll); a round that does not (verify_interval long,
// the last confirmation one round old).
//
// Large fleet: 5,000 TCP terminals of 40 records each, served by five
// simulators, collected by tallygate-collector itself (`once`, a new
// process each time, SQLite): the first collection and a round with nothing
// new (a new process confirms each last record) with tcp_parallel = 64, and
// that round again with 128; each with the program's wall time and its peak
// resident memory (wait4). A poll with nothing new waits 30 ms before its
// page request, so 64 at a time take at least 5,000 / 64 x 30 ms = 2.3 s.
//
// The peak resident memory of this process (VmHWM) covers the whole run;
// the simulator's own is read from /proc before it ends. Every figure is
// printed beside its target, with the CPU time here and in the simulator
// under it; a missed target says MISSED, a poll that did not end as it must
// says FAILED and why, and the program still exits 0. The SQLite files go
// to TMPDIR (their disk's sync time is part of the figures).
// `collector_bench serial`, `tcp` or `fleet` runs one of the three,
// and --terminals N a smaller fleet (for a profiler).
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/process_usage.h"
#include "bench/sim_bench_folder.h"
#include "collector/store/store.h"
#include "collector/poll/fleet.h"
#include "collector/base/log.h"
#include "collector/poll/terminal_poll.h"
#include "common/cli/command_line.h"
#include "sim/client/sim_process.h"
#include "tallygate/terminal.h"
#include "tests/support/postgres_server.h"

namespace tallygate::collector {
namespace {

using bench::Figures;
using bench::OwnCpuSeconds;
using bench::ProcessCpuSeconds;
using bench::SecondsOf;
using bench::StatusMb;
using testing::PostgresServer;
using testing::SimProcess;
using namespace std::chrono_literals;

constexpr int32_t kBusRecords = 32757;
constexpr int32_t kBusNewRecords = 10;  // fill the memory: 32,767
constexpr int32_t kFleetRecords = 1000;
constexpr const char* kSeed = "7";
constexpr const char* kZone = "Asia/Shanghai";
constexpr double kMemoryTargetMb = 64;

// The CPU a step took here and in the simulator, printed under its figure:
// where the time went when a target is missed.
class CpuWatch {
 public:
  explicit CpuWatch(pid_t simulator)
      : simulator_(simulator), own_(OwnCpuSeconds()), sim_(ProcessCpuSeconds(simulator)) {}
  void Print() const {
    std::printf("    cpu: %.2f s here, %.2f s in the simulator\n", OwnCpuSeconds() - own_,
                ProcessCpuSeconds(simulator_) - sim_);
  }

 private:
  pid_t simulator_;
  double own_;
  double sim_;
};

void PrintSimulatorPeak(const SimProcess& sim, const std::string& which) {
  std::printf("  (%s process: peak resident memory %.1f MB)\n", which.c_str(),
              StatusMb(sim.pid(), "VmHWM"));
}

// Empty when every collection ended complete with `added` punches added,
// fetched from `from` (0 also when nothing was fetched); else what differed
// first, and how many did.
std::string Mismatch(const std::vector<Collection>& collections, int32_t added, int32_t from) {
  std::string first;
  int wrong = 0;
  for (const Collection& c : collections) {
    if (c.outcome == Outcome::kComplete && c.punches_added == added && c.from_position == from) {
      continue;
    }
    if (wrong++ == 0) {
      first = c.terminal + " " + OutcomeName(c.outcome) + ", " + std::to_string(c.punches_added) +
              " added from position " + std::to_string(c.from_position) +
              (c.error.empty() ? "" : ": " + c.error);
    }
  }
  if (wrong == 0) return "";
  return std::to_string(wrong) + " of " + std::to_string(collections.size()) +
         " polls not as expected, first " + first + " (expected complete, " +
         std::to_string(added) + " added from position " + std::to_string(from) + ")";
}

// Saves and claims the terminal, as the fleet does before it polls one.
void Register(Store& store, const TerminalConfig& terminal) {
  store.SaveTerminal({terminal.name, terminal.EndpointText(), terminal.address, terminal.time_zone});
  if (!store.ClaimTerminal(terminal.name)) throw std::runtime_error(terminal.name + " not claimed");
}

// ---- Serial bus --------------------------------------------------------------

TerminalConfig BusTerminal(const std::string& device) {
  TerminalConfig terminal;
  terminal.name = "bus-1";
  terminal.endpoint = SerialEndpoint{device};
  terminal.time_zone = kZone;
  terminal.verify_interval = 10min;  // a bus's default
  terminal.card_list = false;
  return terminal;
}

// A line to `terminal` that adds every byte it sends or receives to `bytes`.
std::unique_ptr<Line> OpenCounted(const TerminalConfig& terminal, std::atomic<int64_t>& bytes) {
  LineOptions options;
  options.trace = [&bytes](TraceDirection, std::span<const uint8_t> block,
                           std::chrono::steady_clock::time_point) {
    bytes += static_cast<int64_t>(block.size());
  };
  Result<std::unique_ptr<Line>> line = Line::Open(terminal.endpoint, std::move(options));
  if (!line) throw std::runtime_error(terminal.EndpointText() + ": " + line.error().message());
  return std::move(*line);
}

Collection Poll(Line& line, TerminalRuntime& runtime, Store& store) {
  return PollTerminal(line, runtime, store, std::stop_token{});
}

void SerialBus(Figures& figures, const std::filesystem::path& folder, bool full) {
  const std::vector<std::string> seeded = {"--pty", "--address", "1", "--records",
                                           std::to_string(kBusRecords), "--seed", kSeed, "--quiet"};
  std::vector<std::string> paced = seeded;
  paced.push_back("--wire-speed");
  SimProcess wire(paced);
  const std::unique_ptr<Store> store_opened = OpenStore("sqlite:" + (folder / "bus.db").string());
  Store& store = *store_opened;
  const TerminalConfig terminal = BusTerminal(wire.pty_path());
  Register(store, terminal);
  std::atomic<int64_t> bytes{0};
  const std::unique_ptr<Line> line = OpenCounted(terminal, bytes);
  TerminalRuntime runtime;
  runtime.config = &terminal;

  Collection first;
  if (full) {
    const double seconds = SecondsOf([&] { first = Poll(*line, runtime, store); });
    std::printf("Serial bus at 19200 bit/s, first collection of %d records: %.1f s, %lld bytes "
                "moved (no target)\n",
                kBusRecords, seconds, static_cast<long long>(bytes.load()));
  } else {
    // The same records, unpaced, stored under the same name: the mark a
    // full collection would leave.
    SimProcess fast(seeded);
    TerminalConfig twin = terminal;
    twin.endpoint = SerialEndpoint{fast.pty_path()};
    std::atomic<int64_t> twin_bytes{0};
    const std::unique_ptr<Line> twin_line = OpenCounted(twin, twin_bytes);
    TerminalRuntime twin_runtime;
    twin_runtime.config = &twin;
    const double seconds = SecondsOf([&] { first = Poll(*twin_line, twin_runtime, store); });
    std::printf("Serial bus: mark of %d records made from an unpaced simulator with the same "
                "seed in %.1f s (--skip-full)\n",
                kBusRecords, seconds);
  }
  if (const std::string wrong = Mismatch({first}, kBusRecords, 0); !wrong.empty()) {
    figures.Failed("Serial bus, first collection: " + wrong);
    return;
  }

  const std::string added = wire.Control("add-records " + std::to_string(kBusNewRecords));
  if (added.rfind("ok", 0) != 0) {
    figures.Failed("Serial bus: add-records answered \"" + added + "\"");
    return;
  }
  bytes = 0;
  Collection next;
  const CpuWatch cpu(wire.pid());
  const double seconds = SecondsOf([&] { next = Poll(*line, runtime, store); });
  figures.Print("Serial bus at 19200 bit/s, incremental poll of " + std::to_string(kBusNewRecords) +
                    " new records",
                seconds, "s", 5, "; " + std::to_string(bytes.load()) + " bytes moved");
  cpu.Print();
  // The overlap (the last stored record) is fetched and compared, not added.
  if (const std::string wrong = Mismatch({next}, kBusNewRecords, kBusRecords - 1); !wrong.empty()) {
    figures.Failed("    " + wrong);
  }
  PrintSimulatorPeak(wire, "paced simulator");
}

// ---- TCP fleet ---------------------------------------------------------------

CollectorConfig FleetConfig(const std::vector<int>& ports) {
  CollectorConfig config;
  for (size_t k = 0; k < ports.size(); ++k) {
    TerminalConfig terminal;
    terminal.name = "tcp-" + std::to_string(k + 1);
    terminal.endpoint = TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(ports[k])};
    terminal.time_zone = kZone;
    terminal.card_list = false;
    config.terminals.push_back(terminal);
  }
  return config;
}

void VerifyEvery(CollectorConfig& config, std::chrono::seconds interval) {
  for (TerminalConfig& terminal : config.terminals) terminal.verify_interval = interval;
}

// One PollOnce round, timed and checked: its figure is printed either way,
// and what went wrong under it. A terminal that failed a round shows in the
// next one too, doing then what it missed.
void Round(Figures& figures, Fleet& fleet, pid_t simulator, const std::string& what,
           double target, int32_t added, int32_t from) {
  std::vector<Collection> collections;
  const CpuWatch cpu(simulator);
  const double seconds = SecondsOf([&] { collections = fleet.PollOnce(std::stop_token{}); });
  figures.Print(what, seconds, "s", target);
  cpu.Print();
  if (const std::string wrong = Mismatch(collections, added, from); !wrong.empty()) {
    figures.Failed("    " + wrong);
  }
}

// The three rounds into `database`. `config` is the fleet's; its verify
// intervals are set here between rounds (the fleet reads them at each poll).
void FleetInto(Figures& figures, CollectorConfig& config, pid_t simulator,
               const std::string& database, const std::string& kind, double first_target) {
  const std::unique_ptr<Store> store_opened = OpenStore(database);
  Store& store = *store_opened;
  VerifyEvery(config, 0s);
  Fleet fleet(config, store);
  const std::string terminals = std::to_string(config.terminals.size()) + " TCP terminals";
  Round(figures, fleet, simulator, terminals + ", first collection into " + kind, first_target,
        kFleetRecords, 0);
  Round(figures, fleet, simulator,
        terminals + ", nothing new, each last record confirmed (" + kind + ")", 3, 0,
        kFleetRecords - 1);
  VerifyEvery(config, 1h);  // confirmed one round ago: not due
  Round(figures, fleet, simulator, terminals + ", nothing new, not confirmed (" + kind + ")", 1,
        0, 0);
}

void TcpFleet(Figures& figures, const std::filesystem::path& folder, int terminals) {
  SimProcess sim({"--tcp-terminals", std::to_string(terminals), "--tcp-port", "0",
                  "--records", std::to_string(kFleetRecords), "--seed", kSeed, "--quiet"},
                 60s);
  CollectorConfig config = FleetConfig(sim.tcp_ports());
  FleetInto(figures, config, sim.pid(), "sqlite:" + (folder / "fleet.db").string(), "SQLite", 10);
  if (PostgresServer::Programs().empty()) {
    figures.Failed("PostgreSQL: no server installed, its figures not measured");
  } else {
    PostgresServer server;
    FleetInto(figures, config, sim.pid(), server.Uri(), "PostgreSQL", 15);
  }
  PrintSimulatorPeak(sim, "fleet simulator");
}

// tallygate-collector --config CONFIG once: its exit status, wall seconds
// and peak resident memory in MB.
struct ProgramRun {
  int status = -1;
  double seconds = 0;
  double peak_mb = 0;
};
ProgramRun RunOnce(const std::filesystem::path& config) {
  ProgramRun run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execl(TALLYGATE_COLLECTOR_PATH, TALLYGATE_COLLECTOR_PATH, "--log-level", "warning",
          "--config", config.c_str(), "once", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return run;
}

void LargeFleet(Figures& figures, const std::filesystem::path& folder) {
  constexpr int kSimulators = 5;
  constexpr int kEach = 1000;
  constexpr int kRecords = 40;
  std::vector<std::unique_ptr<SimProcess>> sims;
  std::string terminals;
  for (int s = 0; s < kSimulators; ++s) {
    sims.push_back(std::make_unique<SimProcess>(
        std::vector<std::string>{"--tcp-terminals", std::to_string(kEach), "--tcp-port", "0",
                                 "--records", std::to_string(kRecords), "--seed",
                                 // terminal K of each takes seed S+K-1: no two share a memory
                                 std::to_string(s * kEach + 1), "--quiet"},
        60s));
    const std::vector<int> ports = sims.back()->tcp_ports();
    for (size_t k = 0; k < ports.size(); ++k) {
      terminals += "[[terminal]]\nname = \"s" + std::to_string(s + 1) + "-" +
                   std::to_string(k + 1) + "\"\ntcp = \"127.0.0.1:" + std::to_string(ports[k]) +
                   "\"\ntime_zone = \"" + kZone + "\"\ncard_list = false\n";
    }
  }
  const std::string database = "sqlite:" + (folder / "large-fleet.db").string();
  const auto config = [&](int parallel) {
    const std::filesystem::path path =
        folder / ("large-fleet-" + std::to_string(parallel) + ".toml");
    std::ofstream(path) << "database = \"" << database << "\"\ntcp_parallel = " << parallel
                        << "\n" << terminals;
    return path;
  };
  const std::string fleet = std::to_string(kSimulators * kEach) + " TCP terminals";
  const auto round = [&](const std::string& what, int parallel, double target) {
    const ProgramRun run = RunOnce(config(parallel));
    figures.Print(fleet + ", " + what + " (SQLite, once, tcp_parallel = " +
                      std::to_string(parallel) + ")",
                  run.seconds, "s", target);
    figures.Print("    peak resident memory of tallygate-collector", run.peak_mb, "MB", 128);
    if (run.status != 0) figures.Failed("    once exited " + std::to_string(run.status));
  };
  round("first collection", 64, 30);
  round("nothing new, each last record confirmed", 64, 3);
  round("nothing new, each last record confirmed", 128, 3);
  PrintSimulatorPeak(*sims.front(), "one of five fleet simulators");
}

}  // namespace
}  // namespace tallygate::collector

int main(int argc, char** argv) {
  using namespace tallygate::collector;
  std::string only;
  bool skip_full = false;
  int terminals = 200;
  CLI::App app("What the collector costs against tallygate-sim: an incremental poll on a serial\n"
               "bus at 19200 bit/s, 200 TCP terminals into SQLite and PostgreSQL, 5,000 TCP\n"
               "terminals collected by tallygate-collector, peak memory;\n"
               "each figure beside its target. The full serial collection takes about 300 s.",
               "collector_bench");
  tallygate::command_line::Prepare(app);
  app.add_option("WHICH", only, "run one of the three only (for a profiler)")
      ->check(CLI::IsMember({"serial", "tcp", "fleet"}));
  app.add_flag("--skip-full", skip_full,
               "make the serial store's mark from an unpaced simulator with the same\n"
               "seed instead of the full collection at 19200 bit/s");
  app.add_option("--terminals", terminals, "TCP terminals in the fleet (default 200)")
      ->transform(tallygate::command_line::DecimalIn(1, 1000))
      ->type_name("N");
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  const std::optional<std::string> made = tallygate::bench::SimBenchFolder("collector_bench");
  if (!made) return 1;
  const std::string& folder = *made;
  SetLogLevel(LogLevel::kWarning);  // not a line per poll

  Figures figures;
  try {
    if (only.empty() || only == "serial") SerialBus(figures, folder, !skip_full);
    if (only.empty() || only == "tcp") TcpFleet(figures, folder, terminals);
    if (only.empty() || only == "fleet") LargeFleet(figures, folder);
  } catch (const std::exception& error) {
    figures.Failed(std::string("collector_bench: ") + error.what());
  }
  figures.Print("Peak resident memory of this process, whole run", StatusMb(0, "VmHWM"), "MB",
                kMemoryTargetMb);
  std::filesystem::remove_all(folder);
  std::printf("%s\n", figures.all_met() ? "All collector targets met."
                                        : "Some collector target MISSED.");
  return 0;
}
