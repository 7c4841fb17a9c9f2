// What a record collection costs: GatherData through the typed interface,
// in this process, against tallygate-sim running as a process of its own.
//
// Serial: 1,000 records through the simulator's pseudo-terminal with the
// wire paced at 19200 bit/s. Its floor is the time the protocol itself takes:
// every character both ways at 11 bits (address bytes, request frames, the
// count reply, the record units), plus the 30 ms pause before each page
// request and the 1 ms pause after each address byte.
//
// TCP: 32,767 records (128 pages) without pacing. Its floor is the 128 page
// pauses; 0.4 s on top is allowed for everything else. Peak memory is
// measured from the start of the call. Then the same records through the
// terminal API's FetchRecords, each handed to a callback: within 1.02 times
// GatherData's time, and memory that does not grow with the records.
//
// Each figure is printed beside its floor and target, with the ratio.
// `collection_bench serial` or `collection_bench tcp` runs one of the two
// (for a profiler).
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

#include "bench/process_usage.h"
#include "common/cli/command_line.h"
#include "sim/client/sim_process.h"
#include "tallygate/connect_v70.h"
#include "tallygate/terminal.h"

namespace {

using tallygate::bench::OwnCpuSeconds;
using tallygate::bench::ProcessCpuSeconds;
using tallygate::testing::SimProcess;

constexpr double kCharSeconds = 11.0 / 19200.0;
constexpr double kPagePauseSeconds = 0.030;
constexpr double kAddressPauseSeconds = 0.001;
constexpr int kUnitsPerPage = 256;
constexpr int kRecordUnit = 16;
constexpr int kRequestChars = 1 + 4;  // address byte, [4, 0xBB, page, check]
constexpr int kCountReply = 6;

struct Usage {
  double wall = 0;
  double cpu = 0;  // user + system of this process
};

Usage Measure(const std::function<void()>& call) {
  const double cpu0 = OwnCpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  call();
  Usage usage;
  usage.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  usage.cpu = OwnCpuSeconds() - cpu0;
  return usage;
}

// A kB figure of /proc/self/status ("VmHWM", "VmRSS"), or -1.
long StatusKb(const std::string& name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

// Starts a fresh peak: the kernel sets VmHWM back to the current RSS.
bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

long MaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int Pages(int records) { return (records + kUnitsPerPage - 1) / kUnitsPerPage; }

// The figures move with what else the machine runs: say so beside them.
void PrintMachine() {
  std::ifstream in("/proc/loadavg");
  double load = 0;
  in >> load;
  std::printf("Machine: %ld cores, load average %.2f (1 min) at the start\n",
              sysconf(_SC_NPROCESSORS_ONLN), load);
}

bool Verdict(bool met) {
  std::printf("  %s\n", met ? "met" : "MISSED");
  return met;
}

struct Collected {
  bool result = false;
  std::string description;
  int32_t lines = 0;
};

Collected Collect(tallygate::Connect_v70& link, const std::string& folder) {
  Collected out;
  out.result = link.GatherData(1, folder, "records.txt", out.description, out.lines);
  return out;
}

bool Complete(const Collected& c, int records) {
  if (c.result && c.description.empty() && c.lines == records) return true;
  std::printf("  collection incomplete: result %s, description \"%s\", %d lines\n",
              c.result ? "true" : "false", c.description.c_str(), c.lines);
  return false;
}

bool SerialWire(const std::string& folder) {
  constexpr int kRecords = 1000;
  SimProcess sim({"--pty", "--address", "1", "--records", std::to_string(kRecords),
                  "--wire-speed", "--quiet"});
  setenv("TALLYGATE_COM9", sim.pty_path().c_str(), 1);
  tallygate::Connect_v70 link;
  if (!link.SetPort(9)) {
    std::printf("serial: cannot open %s\n", sim.pty_path().c_str());
    return false;
  }
  const int pages = Pages(kRecords);
  const int transfers = 1 + pages;  // the count query, then one request a page
  const long characters = kRequestChars * transfers + kCountReply + long{kRecordUnit} * kRecords;
  const double floor = static_cast<double>(characters) * kCharSeconds +
                       pages * kPagePauseSeconds + transfers * kAddressPauseSeconds;

  Collected collected;
  const double sim_cpu0 = ProcessCpuSeconds(sim.pid());
  const Usage usage = Measure([&] { collected = Collect(link, folder); });
  const double sim_cpu = ProcessCpuSeconds(sim.pid()) - sim_cpu0;

  std::printf("Serial, pseudo-terminal at 19200 bit/s: GatherData of %d records (%d pages)\n",
              kRecords, pages);
  const bool complete = Complete(collected, kRecords);
  std::printf("  wall %7.3f s   floor %7.3f s (%ld characters, %d page pauses, %d address "
              "pauses)   ratio %.4f (target <= 1.03)",
              usage.wall, floor, characters, pages, transfers, usage.wall / floor);
  const bool fast = Verdict(usage.wall <= 1.03 * floor);
  std::printf("  cpu  %7.3f s   %.3f%% of a core (target <= 2%%)", usage.cpu,
              100.0 * usage.cpu / usage.wall);
  const bool light = Verdict(usage.cpu <= 0.02 * usage.wall);
  std::printf("  (simulator process: %.3f s cpu, %.2f%% of a core)\n", sim_cpu,
              100.0 * sim_cpu / usage.wall);
  return complete && fast && light;
}

bool TcpLarge(const std::string& folder) {
  constexpr int kRecords = 32767;
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", std::to_string(kRecords),
                  "--quiet"});
  tallygate::Connect_v70 link;
  link.Mode(1);
  if (!link.Connect_Net("127.0.0.1", sim.tcp_port())) {
    std::printf("tcp: cannot connect to port %d\n", sim.tcp_port());
    return false;
  }
  const int pages = Pages(kRecords);
  const double floor = pages * kPagePauseSeconds;
  const double target = floor + 0.4;

  const bool fresh_peak = ResetPeakMemory();
  const long rss_before = fresh_peak ? StatusKb("VmRSS") : MaxRssKb();
  Collected collected;
  const Usage usage = Measure([&] { collected = Collect(link, folder); });
  const long peak_after = fresh_peak ? StatusKb("VmHWM") : MaxRssKb();
  const double growth_mb = static_cast<double>(peak_after - rss_before) / 1024.0;
  link.Disconnect_Net();

  std::printf("TCP, loopback, no pacing: GatherData of %d records (%d pages)\n", kRecords, pages);
  const bool complete = Complete(collected, kRecords);
  std::printf("  wall %7.3f s   floor %7.3f s (%d page pauses)   ratio %.4f   target <= %.3f s",
              usage.wall, floor, pages, usage.wall / floor, target);
  const bool fast = Verdict(usage.wall <= target);
  std::printf("  peak memory growth %6.2f MB (%s)   target <= 16 MB   ratio %.3f", growth_mb,
              fresh_peak ? "VmHWM after a reset, over VmRSS before" : "ru_maxrss after - before",
              growth_mb / 16.0);
  const bool small = Verdict(growth_mb <= 16.0);
  std::printf("  cpu  %7.3f s   %.2f%% of a core\n", usage.cpu, 100.0 * usage.cpu / usage.wall);

  // The same records through the terminal API, each handed to a callback.
  auto line = tallygate::Line::Open(
      tallygate::TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_port())});
  if (!line) {
    std::printf("tcp: %s\n", line.error().message().c_str());
    return false;
  }
  const bool fresh = ResetPeakMemory();
  const long before = fresh ? StatusKb("VmRSS") : MaxRssKb();
  int32_t records = 0;
  uint32_t cards = 0;  // keeps the callback's work from being optimised away
  tallygate::Result<tallygate::FetchReport> report = tallygate::Error(tallygate::ErrorCode::kIoError, "");
  const Usage fetch = Measure([&] {
    report = (*line)->FetchRecords(1, 0, [&](const tallygate::AttendanceRecord& record) {
      ++records;
      cards ^= record.card;
    });
  });
  const long peak = fresh ? StatusKb("VmHWM") : MaxRssKb();
  const double fetch_growth_mb = static_cast<double>(peak - before) / 1024.0;
  std::printf("TCP, loopback, no pacing: FetchRecords of %d records to a callback (card xor %08X)\n",
              kRecords, cards);
  const bool fetched = report && report->complete() && records == kRecords;
  if (!fetched) {
    std::printf("  fetch incomplete: %s, %d records\n",
                report ? "report incomplete" : report.error().message().c_str(), records);
  }
  std::printf("  wall %7.3f s   GatherData %7.3f s   ratio %.4f (target <= 1.02)", fetch.wall,
              usage.wall, fetch.wall / usage.wall);
  const bool as_fast = Verdict(fetch.wall <= 1.02 * usage.wall);
  std::printf("  peak memory growth %6.2f MB   target < 2 MB", fetch_growth_mb);
  const bool flat = Verdict(fetch_growth_mb < 2.0);
  std::printf("  cpu  %7.3f s   %.2f%% of a core\n", fetch.cpu, 100.0 * fetch.cpu / fetch.wall);
  return complete && fast && small && fetched && as_fast && flat;
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  CLI::App app("What a record collection costs against tallygate-sim: 1,000 records over the\n"
               "paced serial wire, 32,767 over TCP, each beside its floor and target.",
               "collection_bench");
  tallygate::command_line::Prepare(app);
  app.add_option("WHICH", only, "run one of the two only (for a profiler)")
      ->check(CLI::IsMember({"serial", "tcp"}));
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  if (!SimProcess::Available()) {
    std::printf("collection_bench: built without tallygate-sim\n");
    return 1;
  }
  char folder[] = "/tmp/tallygate-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  setenv("TALLYGATE_HOME", folder, 1);
  setenv("TALLYGATE_SYSTEM_LOCALE", "C", 1);

  PrintMachine();
  bool all_met = true;
  try {
    if (only.empty() || only == "serial") all_met = SerialWire(folder) && all_met;
    if (only.empty() || only == "tcp") all_met = TcpLarge(folder) && all_met;
  } catch (const std::exception& error) {
    std::printf("collection_bench: %s\n", error.what());
    all_met = false;
  }
  std::filesystem::remove_all(folder);
  std::printf("%s\n", all_met ? "All collection targets met." : "Some collection target MISSED.");
  return 0;
}
