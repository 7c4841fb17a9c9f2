// tallygate-soak: the reliability run. The fault soak over TCP and over a
// pseudo-terminal at once (a thread each), the hostile TCP peers, and the
// serial device going away; prints the figures as Markdown and exits 1 when
// any rule was broken.
//
//   tallygate-soak [--exchanges N] [--fault-rate R] [--seed S]
//                  [--only soak|hostile|device] [--flood-mb M]
//                  [--slack S] [--report FILE]     (see --help)
#include <stdlib.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/cli/command_line.h"
#include "sim/client/sim_process.h"
#include "soak/device_loss.h"
#include "soak/hostile_runs.h"
#include "soak/probe.h"
#include "soak/report.h"
#include "soak/soak_run.h"

namespace {

using namespace tallygate::soak;
using tallygate::testing::SimProcess;

struct Options {
  int exchanges = 20000;
  double fault_rate = 0.05;
  uint32_t seed = 1;
  std::string only;
  int64_t flood_mb = 100;
  double slack = 0.5;
  std::string report;
  // With no progress for this long the run counts as hung and is ended.
  int watchdog_seconds = 120;
};

// Declares the options on `app`, to be stored into `o`.
void AddOptions(CLI::App& app, Options& o) {
  using tallygate::command_line::DecimalIn;
  app.description(
      "The reliability run: the fault soak over TCP and a pseudo-terminal, hostile TCP peers,\n"
      "and a serial device that goes away. Prints the figures as Markdown.");
  app.add_option("--exchanges", o.exchanges, "exchanges of the fault soak, shared by TCP and the pty")
      ->transform(DecimalIn(0, INT32_MAX))
      ->type_name("N");
  app.add_option("--fault-rate", o.fault_rate, "share of exchanges with an injected fault")
      ->check(CLI::Range(0.0, 1.0))
      ->type_name("R");
  app.add_option("--seed", o.seed, "seed of the faults and the data")->transform(DecimalIn(0, UINT32_MAX))->type_name("S");
  app.add_option("--only", o.only, "run one part only")
      ->check(CLI::IsMember({"soak", "hostile", "device"}));
  app.add_option("--flood-mb", o.flood_mb, "megabytes the flooding peer sends")
      ->transform(DecimalIn(0, 1 << 20))
      ->type_name("M");
  app.add_option("--slack", o.slack, "seconds allowed beyond each wait's limit")->check(CLI::NonNegativeNumber)->type_name("S");
  app.add_option("--report", o.report, "also write the report to FILE")->type_name("FILE");
  app.footer("Exit status: 0 when every rule held, 1 when one was broken or the run failed,\n"
             "2 for a bad command line, 3 when the run hung.");
}

std::filesystem::path MakeFolder(const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("tallygate-" + name + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

std::string Today() {
  const time_t now = time(nullptr);
  tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
  return text;
}

// Ends the process when the heartbeat stops: a hang is a failure too.
class Watchdog {
 public:
  Watchdog(std::atomic<int64_t>& beat, int seconds) : beat_(beat), seconds_(seconds) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  void Watch() {
    int64_t last = beat_.load();
    auto since = std::chrono::steady_clock::now();
    while (!done_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const int64_t now = beat_.load();
      if (now != last) {
        last = now;
        since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(seconds_)) {
        std::fprintf(stderr, "tallygate-soak: HANG: no call finished for %d s\n", seconds_);
        std::_Exit(3);
      }
    }
  }
  std::atomic<int64_t>& beat_;
  int seconds_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

int RunAll(const Options& options) {
  const std::filesystem::path home = MakeFolder("soak-home");
  setenv("TALLYGATE_HOME", home.c_str(), 1);
  setenv("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8", 1);
  std::string report = "Run of " + Today() + ", seed " + std::to_string(options.seed) + ".\n\n";
  int violations = 0;
  std::atomic<int64_t> beat{0};

  if (options.only.empty() || options.only == "soak") {
    std::vector<SoakOptions> runs(2);
    std::vector<std::unique_ptr<SimProcess>> sims;
    for (size_t i = 0; i < runs.size(); ++i) {
      SoakOptions& run = runs[i];
      run.transport = i == 0 ? Transport::kTcp : Transport::kPty;
      run.exchanges = options.exchanges / 2;
      run.fault_rate = options.fault_rate;
      run.seed = options.seed;
      run.slack_seconds = options.slack;
      run.folder = MakeFolder(std::string("soak-") + TransportName(run.transport));
      run.heartbeat = &beat;
      sims.push_back(std::make_unique<SimProcess>(SimArguments(run)));
    }
    // Set before the threads start: the environment is not theirs to change.
    setenv("TALLYGATE_COM1", sims[1]->pty_path().c_str(), 1);
    std::vector<SoakFigures> figures(runs.size());
    std::vector<std::exception_ptr> errors(runs.size());
    {
      Watchdog watchdog(beat, options.watchdog_seconds);
      std::vector<std::thread> threads;
      for (size_t i = 0; i < runs.size(); ++i) {
        threads.emplace_back([&, i] {
          try {
            figures[i] = RunSoak(runs[i], *sims[i]);
          } catch (...) {
            errors[i] = std::current_exception();
          }
        });
      }
      for (std::thread& t : threads) t.join();
    }
    for (const std::exception_ptr& error : errors) {
      if (error) std::rethrow_exception(error);
    }
    for (const SoakFigures& f : figures) violations += f.Violations();
    report += SoakReport(figures, options.fault_rate) + "\n";
    for (const SoakOptions& run : runs) std::filesystem::remove_all(run.folder);
  }

  if (options.only.empty() || options.only == "hostile") {
    HostileOptions hostile;
    hostile.flood_bytes = options.flood_mb * 1024 * 1024;
    hostile.slack_seconds = options.slack;
    hostile.folder = MakeFolder("hostile");
    const HostileFigures figures = RunHostilePeers(hostile);
    violations += figures.violations;
    const int64_t growth = figures.resident_kib_most - figures.resident_kib_before;
    if (!UnderAddressSanitizer() && growth >= 32 * 1024) {
      ++violations;
      report += "**Memory grew by " + std::to_string(growth / 1024) + " MiB under the hostile peers.**\n\n";
    }
    report += HostileReport(figures) + "\n";
    std::filesystem::remove_all(hostile.folder);
  }

  if (options.only.empty() || options.only == "device") {
    DeviceLossOptions device;
    device.slack_seconds = options.slack;
    device.folder = MakeFolder("device");
    const DeviceLossFigures figures = RunDeviceLoss(device);
    violations += figures.violations;
    report += DeviceLossReport(figures) + "\n";
    std::filesystem::remove_all(device.folder);
  }

  std::filesystem::remove_all(home);
  report += "Rules broken: " + std::to_string(violations) + ".\n";
  std::cout << report << std::flush;
  if (!options.report.empty()) std::ofstream(options.report) << report;
  return violations == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app("", "tallygate-soak");
  tallygate::command_line::Prepare(app);
  AddOptions(app, options);
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  try {
    return RunAll(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tallygate-soak: %s\n", error.what());
    return 1;
  }
}
