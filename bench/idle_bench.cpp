// What tallygate-collector costs when it polls often and nothing happens,
// and how soon a swipe reaches the store: the service (`run`, SQLite in
// TMPDIR, poll_interval 1 s) and tallygate-sim as processes of their own.
//
//   idle         200 TCP terminals with nothing new, after every terminal's
//                first poll: over --seconds, the collector's CPU (utime +
//                stime from /proc) as a share of one core (target 5 %), its
//                store writes per terminal per minute (each collections row,
//                and each move of a terminal's last poll seen when the store
//                is read every second; target at most 1) and its lines
//                logged at info (target 0)
//   swipes-tcp   200 TCP terminals: swipes made one after the other on
//                terminals in turn (the simulator's add-records), each timed
//                until its terminal's mark in the store has moved; p50, p95
//                (target 1.2 s) and max; and each timed until its punch's
//                event came on the dashboard's /api/events (the live feed),
//                p50, p95 (target 1.5 s) and max, and until a webhook
//                receiver in this program had it (target p95 2 s)
//   swipes-bus   the same on 30 terminals of one bus at 19200 bit/s, the
//                first swipe as soon as every terminal's first collection
//                is stored (target p95 2 s, max 3 s): the day's card lists
//                and clocks are still to come then; --card-list and
//                --set-clock choose them, --records what each terminal
//                holds (a record read again costs the page up to it)
//
// --collector runs another build of the program (the one before a change,
// under the same conditions). Each figure is printed beside its target,
// MISSED when missed; the program exits 0 either way.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench/figures.h"
#include "bench/process_usage.h"
#include "bench/sim_bench_folder.h"
#include "collector/store/store.h"
#include "common/cli/command_line.h"
#include "common/process/child_start.h"
#include "sim/client/sim_process.h"

namespace tallygate::bench {
namespace {

using collector::OpenStore;
using collector::Store;
using collector::StoreError;
using testing::SimProcess;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
  std::string collector = TALLYGATE_COLLECTOR_PATH;
  double seconds = 90;
  int swipes = 40;
  // swipes-bus's terminals
  bool card_list = true;
  bool set_clock = false;
  int records = 1;  // held by each at the start
  bool keep = false;  // the scenarios' folders, with the service's log
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `tallygate-collector run` on a configuration of its own, its log in the
// folder; stopped with SIGTERM when it goes.
class Service {
 public:
  // With `http_port`, the dashboard listens on 127.0.0.1 there; `extra`:
  // more of the configuration ([[deliver]] tables).
  Service(const Options& options, const std::filesystem::path& folder,
          const std::vector<std::string>& endpoints, int http_port = 0,
          const std::string& extra = "")
      : folder_(folder), database_(folder / "punches.db") {
    const std::filesystem::path config = folder / "collector.toml";
    std::ofstream text(config);
    text << "database = \"sqlite:" << database_.string() << "\"\npoll_interval = \"1s\"\n"
         << "tcp_parallel = 32\n";
    text << extra;
    if (http_port > 0) text << "[http]\nlisten = \"127.0.0.1:" << http_port << "\"\n";
    for (size_t k = 0; k < endpoints.size(); ++k) {
      text << "[[terminal]]\nname = \"" << Name(k) << "\"\n" << endpoints[k] << "\n";
    }
    text.close();
    ChildStart start;
    start.Open(STDERR_FILENO, folder / "service.log", O_WRONLY | O_CREAT | O_TRUNC);
    if (start.Spawn({options.collector, "--config", config.string(), "run"}, pid_) != 0) pid_ = -1;
  }
  ~Service() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  static std::string Name(size_t k) { return "t" + std::to_string(k + 1); }
  pid_t pid() const { return pid_; }

  // The store, once the service has made it and polled `terminals` of them
  // (each has a last success); nullptr when that took longer than `limit`.
  Store* Polled(size_t terminals, std::chrono::seconds limit) {
    const auto start = Clock::now();
    while (Clock::now() - start < limit) {
      try {
        if (!store_) store_ = OpenStore("sqlite:" + database_.string());
        const std::vector<collector::TerminalState> states = store_->States();
        const auto answered = std::count_if(states.begin(), states.end(),
                                            [](const auto& s) { return s.last_success.has_value(); });
        if (static_cast<size_t>(answered) >= terminals) return store_.get();
      } catch (const StoreError&) {
        store_.reset();  // not made yet
      }
      std::this_thread::sleep_for(100ms);
    }
    return nullptr;
  }

  // Lines of the log that hold `text`.
  size_t LinesWith(const std::string& text) const {
    std::ifstream log(folder_ / "service.log");
    size_t lines = 0;
    for (std::string line; std::getline(log, line);) lines += line.find(text) != std::string::npos;
    return lines;
  }

  // Lines of the log that begin with `level`.
  size_t LinesAt(const std::string& level) const {
    std::ifstream log(folder_ / "service.log");
    size_t lines = 0;
    for (std::string line; std::getline(log, line);) lines += line.rfind(level + " ", 0) == 0;
    return lines;
  }

 private:
  std::filesystem::path folder_;
  std::filesystem::path database_;
  pid_t pid_ = -1;
  std::unique_ptr<Store> store_;
};

// The TCP terminals every TCP scenario polls: one record each, no cards.
SimProcess TcpFleet(size_t terminals) {
  return SimProcess({"--tcp-terminals", std::to_string(terminals), "--tcp-port", "0",
                     "--records", "1", "--cards", "0", "--quiet"},
                    60s);
}

std::vector<std::string> TcpEndpoints(const SimProcess& sim) {
  std::vector<std::string> endpoints;
  for (int port : sim.tcp_ports()) {
    endpoints.push_back("tcp = \"127.0.0.1:" + std::to_string(port) + "\"");
  }
  return endpoints;
}

void Idle(Figures& figures, const Options& options, const std::filesystem::path& folder) {
  constexpr size_t kTerminals = 200;
  SimProcess sim = TcpFleet(kTerminals);
  Service service(options, folder, TcpEndpoints(sim));
  Store* store = service.Polled(kTerminals, 120s);
  if (store == nullptr) return figures.Failed("    not every terminal was polled within 120 s");
  std::this_thread::sleep_for(3s);  // the first round's card lists and clocks settle

  const auto rows = [&] { return store->Collections("", 1 << 30).size(); };
  std::map<std::string, std::optional<collector::UtcTime>> last_poll;
  size_t moves = 0;
  const auto look = [&] {
    for (const collector::TerminalState& state : store->States()) {
      auto& seen = last_poll[state.info.name];
      moves += seen && seen != state.last_poll;
      seen = state.last_poll;
    }
  };
  look();
  moves = 0;
  const size_t rows_before = rows();
  const size_t info_before = service.LinesAt("info");
  const double cpu_before = ProcessCpuSeconds(service.pid());
  const auto start = Clock::now();
  while (Since(start) < options.seconds) {
    std::this_thread::sleep_for(1s);
    look();
  }
  const double cpu = ProcessCpuSeconds(service.pid()) - cpu_before;
  const double elapsed = Since(start);
  const double per_terminal_minute = 60.0 / elapsed / kTerminals;
  const size_t added_rows = rows() - rows_before;
  char extra[128];
  std::snprintf(extra, sizeof extra, "; %.1f CPU s in %.0f s", cpu, elapsed);
  figures.Print("200 idle TCP terminals at 1 s: collector CPU", 100 * cpu / elapsed,
                "% of a core", 5, extra);
  std::snprintf(extra, sizeof extra, "; collections rows %.2f, last poll moves %.2f",
                static_cast<double>(added_rows) * per_terminal_minute,
                static_cast<double>(moves) * per_terminal_minute);
  figures.PrintAtMost("200 idle TCP terminals at 1 s: store writes per terminal per minute",
                      static_cast<double>(std::max(added_rows, moves)) * per_terminal_minute,
                      "", 1, extra);
  figures.PrintAtMost("200 idle TCP terminals at 1 s: lines logged at info",
                      static_cast<double>(service.LinesAt("info") - info_before), "", 0);
}

// A port free now on 127.0.0.1.
int FreePort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  close(socket);
  return ntohs(address.sin_port);
}

// When each punch reached a place beyond the store, by terminal and
// position.
class Arrivals {
 public:
  // When `terminal`'s punch at `position` came; nothing when it has not
  // come within `limit`.
  std::optional<Clock::time_point> Await(const std::string& terminal, int32_t position,
                                         std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        const auto found = came_.find({terminal, position});
        if (found != came_.end()) return found->second;
      }
      if (Clock::now() >= until) return std::nullopt;
      std::this_thread::sleep_for(1ms);
    }
  }

 protected:
  // Notes the punches (JSON objects) that came now.
  void Came(const std::vector<nlohmann::json>& punches) {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    for (const nlohmann::json& punch : punches) {
      came_.emplace(
          std::pair{punch["terminal"].get<std::string>(), punch["position"].get<int32_t>()}, now);
    }
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, int32_t>, Clock::time_point> came_;
};

// A webhook receiver in this program, answering 204 at once.
class Receiver : public Arrivals {
 public:
  Receiver() {
    server_.Post("/punches", [this](const httplib::Request& request, httplib::Response& response) {
      const nlohmann::json body = nlohmann::json::parse(request.body);
      Came(body["punches"].get<std::vector<nlohmann::json>>());
      response.status = 204;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Receiver() {
    server_.stop();
    thread_.join();
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  std::string Deliver() const {
    return "[[deliver]]\nname = \"bench\"\nkind = \"webhook\"\nurl = \"http://127.0.0.1:" +
           std::to_string(port_) + "/punches\"\n";
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// The service's live feed, read on a thread of its own from when the
// dashboard answers: when each punch's event came, by terminal and position.
class EventReader : public Arrivals {
 public:
  explicit EventReader(int port) : client_("127.0.0.1", port) {
    client_.set_read_timeout(std::chrono::seconds{60});
    thread_ = std::thread([this] {
      while (!stopping_) {
        client_.Get("/api/events", [this](const char* data, size_t length) {
          Take(std::string_view(data, length));
          return !stopping_;
        });
        std::this_thread::sleep_for(100ms);  // not answering yet
      }
    });
  }
  ~EventReader() {
    stopping_ = true;
    client_.stop();
    thread_.join();
  }
  EventReader(const EventReader&) = delete;
  EventReader& operator=(const EventReader&) = delete;

 private:
  void Take(std::string_view bytes) {
    pending_ += bytes;
    static const std::regex kData("data: ([^\n]*)\n\n");
    std::smatch found;
    std::vector<nlohmann::json> punches;
    while (std::regex_search(pending_, found, kData)) {
      punches.push_back(nlohmann::json::parse(found[1].str()));
      pending_ = found.suffix();
    }
    Came(punches);
  }

  httplib::Client client_;
  std::atomic<bool> stopping_ = false;
  std::string pending_;
  std::thread thread_;
};

// p50, p95 and max of `waits` (seconds) as one figure beside `target`;
// with `max_target`, the max as a figure of its own.
void PrintWaits(Figures& figures, const std::string& what, std::vector<double> waits,
                double target, const char* counted, std::optional<double> max_target = {}) {
  if (waits.empty()) return figures.Failed("    " + what + ": nothing measured");
  std::sort(waits.begin(), waits.end());
  const auto at = [&](double share) {
    return waits[std::min(waits.size() - 1, static_cast<size_t>(share * static_cast<double>(waits.size())))];
  };
  char extra[96];
  std::snprintf(extra, sizeof extra, "; p50 %.2f s, max %.2f s, %zu %s", at(0.5), waits.back(),
                waits.size(), counted);
  figures.Print(what + ", p95", at(0.95), "s", target, extra);
  if (max_target) figures.Print(what + ", max", waits.back(), "s", *max_target);
}

// A place beyond the store each swipe is also waited for at, with its
// target for p95.
struct Onward {
  std::string to;  // "live feed event"
  Arrivals* arrivals;
  double target;
};

// How the swipes of a scenario are made and judged.
struct SwipePlan {
  size_t terminals;
  bool tcp;
  double target;                     // p95, seconds
  std::optional<double> max_target;  // seconds
  // The first swipe waits until every terminal has been collected once;
  // otherwise it comes as soon as its own terminal's first record is
  // stored, while the service's first round still runs.
  bool after_first_round = false;
};

// Swipes on the terminals in turn, each waited for in the store: p50, p95
// and max of the time from add-records to the terminal's mark moving, and
// the first few in order. Each swipe is also waited for at every place of
// `onward`.
void Swipes(Figures& figures, const Options& options, const std::string& what, SimProcess& sim,
            Service& service, const SwipePlan& plan, const std::vector<Onward>& onward = {}) {
  const size_t terminals = plan.terminals;
  const bool tcp = plan.tcp;
  const auto started = Clock::now();
  Store* store = service.Polled(plan.after_first_round ? terminals : 1, 300s);
  if (store == nullptr) return figures.Failed("    " + what + ": the terminals were not polled");
  if (plan.after_first_round) {
    std::printf("    every terminal collected once after %.1f s\n", Since(started));
  }
  std::vector<double> waits;
  std::vector<std::vector<double>> onward_waits(onward.size());
  for (int i = 0; i < options.swipes; ++i) {
    const size_t k = static_cast<size_t>(i * 7) % terminals;
    const std::string name = Service::Name(k);
    const auto first = Clock::now();
    while (store->LoadMark(name).positions == 0 && Since(first) < 300) {
      std::this_thread::sleep_for(10ms);
    }
    const int32_t before = store->LoadMark(name).positions;
    const std::string target_text = tcp ? "#" + std::to_string(k + 1) : std::to_string(k + 1);
    const auto made = Clock::now();
    if (sim.Control("add-records 1 " + target_text).rfind("ok", 0) != 0) {
      return figures.Failed("    " + what + ": add-records refused");
    }
    while (store->LoadMark(name).positions == before && Since(made) < 30) {
      std::this_thread::sleep_for(10ms);
    }
    waits.push_back(Since(made));
    for (size_t o = 0; o < onward.size(); ++o) {
      if (const auto came = onward[o].arrivals->Await(name, before, 30s)) {
        onward_waits[o].push_back(std::chrono::duration<double>(*came - made).count());
      }
    }
    if (i < 5) {
      std::printf("    swipe %d (%s): stored after %.2f s\n", i + 1, name.c_str(), waits.back());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + 37 * (i % 10)));
  }
  std::printf("    every swipe, in order (s):");
  for (double wait : waits) std::printf(" %.2f", wait);
  std::printf("\n");
  PrintWaits(figures, what + ": swipe to stored", waits, plan.target, "swipes", plan.max_target);
  for (size_t o = 0; o < onward.size(); ++o) {
    PrintWaits(figures, what + ": swipe to " + onward[o].to, onward_waits[o], onward[o].target,
               "swipes that came");
  }
  // The day's card lists and clocks, which make way for the record polls,
  // still come.
  size_t lists = 0;
  for (size_t k = 0; k < terminals; ++k) lists += store->Cards(Service::Name(k)).collected.has_value();
  std::printf("    card lists collected meanwhile: %zu of %zu terminals, in %.0f s\n", lists,
              terminals, Since(started));
  if (options.set_clock && !tcp) {
    std::printf("    clocks set meanwhile: %zu of %zu terminals\n",
                service.LinesWith(": clock set ("), terminals);
  }
}

void SwipesTcp(Figures& figures, const Options& options, const std::filesystem::path& folder) {
  constexpr size_t kTerminals = 200;
  SimProcess sim = TcpFleet(kTerminals);
  const int port = FreePort();
  Receiver receiver;
  Service service(options, folder, TcpEndpoints(sim), port, receiver.Deliver());
  EventReader events(port);
  Swipes(figures, options, "200 TCP terminals at 1 s", sim, service, {kTerminals, true, 1.2, {}},
         {{"live feed event", &events, 1.5}, {"webhook received", &receiver, 2}});
}

void SwipesBus(Figures& figures, const Options& options, const std::filesystem::path& folder) {
  constexpr size_t kTerminals = 30;
  // Each terminal with a card list of 100, read once a day.
  std::vector<std::string> args = {"--pty",     "--wire-speed", "--cards", "100",
                                   "--records", std::to_string(options.records), "--quiet"};
  for (size_t a = 1; a <= kTerminals; ++a) {
    args.push_back("--address");
    args.push_back(std::to_string(a));
  }
  SimProcess sim(args);
  const std::string daily = std::string("\ncard_list = ") + (options.card_list ? "true" : "false") +
                            "\nset_clock = " + (options.set_clock ? "true" : "false");
  std::vector<std::string> endpoints;
  for (size_t a = 1; a <= kTerminals; ++a) {
    endpoints.push_back("serial = \"" + sim.pty_path() + "\"\naddress = " + std::to_string(a) +
                        daily);
  }
  Service service(options, folder, endpoints);
  const std::string what = "30 terminals on a bus at 19200 bit/s, 1 s, " +
                           std::to_string(options.records) +
                           (options.records == 1 ? " record" : " records") + " each, card_list " +
                           (options.card_list ? "on" : "off") + ", set_clock " +
                           (options.set_clock ? "on" : "off");
  Swipes(figures, options, what, sim, service, {kTerminals, false, 2, 3, true});
}

}  // namespace
}  // namespace tallygate::bench

int main(int argc, char** argv) {
  using namespace tallygate::bench;
  Options options;
  std::vector<std::string> which;
  CLI::App app("What tallygate-collector costs polling 200 idle TCP terminals every second,\n"
               "and how soon a swipe reaches the store over TCP and on a 19200 bit/s bus;\n"
               "each figure beside its target.",
               "idle_bench");
  tallygate::command_line::Prepare(app);
  app.add_option("WHICH", which, "the scenarios to run (default: all)")
      ->check(CLI::IsMember({"idle", "swipes-tcp", "swipes-bus"}));
  app.add_option("--collector", options.collector, "the tallygate-collector to run")
      ->capture_default_str();
  app.add_option("--seconds", options.seconds, "how long the idle fleet is measured")
      ->check(CLI::Range(5.0, 3600.0))
      ->capture_default_str();
  app.add_option("--swipes", options.swipes, "swipes per swipe scenario")
      ->check(CLI::Range(1, 10000))
      ->capture_default_str();
  app.add_option("--card-list", options.card_list,
                 "swipes-bus: whether its terminals' card lists are collected")
      ->capture_default_str();
  app.add_flag("--set-clock", options.set_clock, "swipes-bus: set its terminals' clocks daily");
  app.add_flag("--keep", options.keep, "keep the scenarios' folders, each with the service's log");
  app.add_option("--records", options.records, "swipes-bus: records each terminal holds at first")
      ->check(CLI::Range(1, 30000))
      ->capture_default_str();
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  const std::optional<std::string> made = SimBenchFolder("idle_bench");
  if (!made) return 1;
  const std::string& folder = *made;
  Figures figures;
  const std::vector<std::pair<const char*, void (*)(Figures&, const Options&,
                                                    const std::filesystem::path&)>>
      scenarios = {{"idle", Idle}, {"swipes-tcp", SwipesTcp}, {"swipes-bus", SwipesBus}};
  for (const auto& [name, scenario] : scenarios) {
    if (!which.empty() && std::find(which.begin(), which.end(), name) == which.end()) continue;
    try {
      const std::filesystem::path own = std::filesystem::path(folder) / name;
      std::filesystem::create_directories(own);
      scenario(figures, options, own);
    } catch (const std::exception& error) {
      figures.Failed(std::string("idle_bench ") + name + ": " + error.what());
    }
  }
  if (options.keep) {
    std::printf("kept %s\n", folder.c_str());
  } else {
    std::filesystem::remove_all(folder);
  }
  std::printf("%s\n", figures.all_met() ? "All idle targets met." : "Some idle target MISSED.");
  return 0;
}
