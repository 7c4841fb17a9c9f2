// How fast tallygate-collector carries a change of the wanted card lists out
// on a simulated fleet: the service (`run`, poll interval 1 h, so that only
// the change wakes a worker) and tallygate-sim as processes of their own,
// SQLite in TMPDIR, the store read from here to see when every terminal
// agrees (nothing pending, every terminal's last outcome for each card the
// change, done).
//
//   revoke-tcp  200 TCP terminals hold one card; from the start of
//               `cards remove CARD` until every terminal has it removed
//               (target under 5 s)
//   revoke-bus  the same on 30 terminals of one bus at 19200 bit/s
//               (under 30 s)
//   leaver-tcp  200 TCP terminals hold the card of an employee of a fake
//               ERPNext site read every 10 s ([[holders_from]]); from the
//               moment the employee is set to Left until every terminal
//               has the card removed (target: the read interval + 5 s)
//   import      `cards import` of 5,000 cardholders onto 50 TCP terminals,
//               until every terminal holds them all (under 60 s)
//   bus-1000    1,000 cardholders onto one terminal of the paced bus,
//               beside the wire time of the exchanges the simulator saw
//               (target: that time + 20 %); then the same exchanges made
//               by a line of this process alone, for what the wire and
//               the simulator take without the collector
//
// Every revocation and import is confirmed on a sample of the simulator's
// terminals too (their card counts). Each figure is printed beside its
// target, MISSED when missed, FAILED when a step did not do what it must;
// the program exits 0 either way. --terminals and --cards make a scenario
// smaller, to try it out.
#include <stdlib.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/card_rollout.h"
#include "bench/figures.h"
#include "bench/sim_bench_folder.h"
#include "fakes/hr/fake_frappe.h"
#include "common/cli/command_line.h"
#include "link/protocol/command_table.h"
#include "sim/client/sim_process.h"
#include "tallygate/terminal.h"

namespace tallygate::bench {
namespace {

using collector::CardChange;
using testing::SimProcess;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kRevokedCard = 305419896;  // 0x12345678
constexpr uint32_t kFirstImported = 1000000;
constexpr uint32_t kFirstAlone = 2000000;
constexpr double kBitsPerSecond = 19200;
constexpr double kBitsPerCharacter = 11;

// Sizes of the four scenarios; --terminals and --cards replace them.
struct Sizes {
  std::optional<int> terminals;
  std::optional<int> cards;
  int Terminals(int standard) const { return terminals.value_or(standard); }
  int Cards(int standard) const { return cards.value_or(standard); }
};

double Since(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double>(end - start).count();
}

std::vector<RolloutTerminal> TcpTerminals(const SimProcess& sim) {
  std::vector<RolloutTerminal> terminals;
  for (size_t k = 0; k < sim.tcp_ports().size(); ++k) {
    terminals.push_back({"tcp-" + std::to_string(k + 1),
                         "tcp = \"127.0.0.1:" + std::to_string(sim.tcp_ports()[k]) + "\"", 1});
  }
  return terminals;
}

std::vector<RolloutTerminal> BusTerminals(const SimProcess& sim, int count) {
  std::vector<RolloutTerminal> terminals;
  for (int a = 1; a <= count; ++a) {
    terminals.push_back({"bus-" + std::to_string(a), "serial = \"" + sim.pty_path() + "\"", a});
  }
  return terminals;
}

std::vector<std::string> BusArgs(int terminals, bool quiet) {
  std::vector<std::string> args = {"--pty", "--wire-speed", "--cards", "0", "--records", "1"};
  for (int a = 1; a <= terminals; ++a) {
    args.push_back("--address");
    args.push_back(std::to_string(a));
  }
  if (quiet) args.push_back("--quiet");
  return args;
}

std::unique_ptr<SimProcess> TcpSim(int terminals) {
  return std::make_unique<SimProcess>(
      std::vector<std::string>{"--tcp-terminals", std::to_string(terminals), "--tcp-port", "0",
                               "--cards", "0", "--records", "1", "--quiet"},
      60s);
}

// The simulator's targets of about ten terminals spread over the fleet
// ("#K" over TCP, the address on a bus).
std::vector<std::string> Sample(int terminals, bool tcp) {
  std::vector<int> picked;
  for (int k = 1; k <= terminals; k += std::max(1, terminals / 10)) picked.push_back(k);
  if (picked.back() != terminals) picked.push_back(terminals);
  std::vector<std::string> targets;
  for (int k : picked) targets.push_back((tcp ? "#" : "") + std::to_string(k));
  return targets;
}

// Whether each sampled terminal holds `cards` cards, as the simulator says.
void ConfirmOnSimulator(Figures& figures, SimProcess& sim, const std::vector<std::string>& sample,
                        int cards) {
  const std::string held = " cards=" + std::to_string(cards) + " ";
  int agree = 0;
  std::string first;
  for (const std::string& target : sample) {
    const std::vector<std::string> status = sim.ControlBlock("status " + target);
    if (!status.empty() && status.front().find(held) != std::string::npos) {
      ++agree;
    } else if (first.empty()) {
      first = target + ": " + (status.empty() ? std::string("no answer") : status.front());
    }
  }
  std::printf("    simulator: %d of %zu sampled terminals hold %d cards\n", agree, sample.size(),
              cards);
  if (agree != static_cast<int>(sample.size())) figures.Failed("    " + first);
}

// Starts the service and waits for its first poll of every terminal.
bool Started(Figures& figures, CardRollout& rollout) {
  if (rollout.Start(300s)) return true;
  figures.Failed("    not every terminal was polled within 300 s");
  return false;
}

// One card on every terminal, then revoked: the revocation's time.
void Revoke(Figures& figures, const std::string& what, SimProcess& sim, CardRollout& rollout,
            const std::vector<std::string>& sample, double target) {
  const std::string card = std::to_string(kRevokedCard);
  if (rollout.Cards({"add", card, "--staff", "1", "--name", "Bench", "--terminals", "*"}) != 0) {
    figures.Failed("    cards add: " + rollout.CardsLog());
    return;
  }
  if (!Started(figures, rollout)) return;
  Convergence last;
  if (!rollout.WaitFor({kRevokedCard}, CardChange::kAdd, 50ms, 300s, last)) {
    figures.Failed("    the card did not reach every terminal within 300 s: " + last.Text());
    return;
  }
  const auto start = Clock::now();
  if (rollout.Cards({"remove", card}) != 0) {
    figures.Failed("    cards remove: " + rollout.CardsLog());
    return;
  }
  const double command = Since(start, Clock::now());
  const auto done = rollout.WaitFor({kRevokedCard}, CardChange::kRemove, 20ms, 300s, last);
  if (!done) {
    figures.Failed("    " + what + ": not done within 300 s: " + last.Text());
    return;
  }
  char extra[96];
  std::snprintf(extra, sizeof extra, "; `cards remove` itself %.2f s", command);
  figures.Print(what, Since(start, *done), "s", target, extra);
  ConfirmOnSimulator(figures, sim, sample, 0);
}

void RevokeTcp(Figures& figures, const std::filesystem::path& folder, const Sizes& sizes) {
  const int terminals = sizes.Terminals(200);
  const std::unique_ptr<SimProcess> sim = TcpSim(terminals);
  CardRollout rollout(folder / "revoke-tcp", TcpTerminals(*sim), 64);
  Revoke(figures, std::to_string(terminals) + " TCP terminals, revoked card removed from all",
         *sim, rollout, Sample(terminals, true), 5);
}

void RevokeBus(Figures& figures, const std::filesystem::path& folder, const Sizes& sizes) {
  const int terminals = std::min(sizes.Terminals(30), 255);
  SimProcess sim(BusArgs(terminals, true));
  CardRollout rollout(folder / "revoke-bus", BusTerminals(sim, terminals), 64);
  Revoke(figures,
         std::to_string(terminals) + " terminals on one bus at 19200 bit/s, revoked card "
                                     "removed from all",
         sim, rollout, Sample(terminals, false), 30);
}

// An employee of the HR system, read every 10 s, set to Left: the time
// until the card is off every terminal.
void LeaverTcp(Figures& figures, const std::filesystem::path& folder, const Sizes& sizes) {
  constexpr int kEverySeconds = 10;
  const int terminals = sizes.Terminals(200);
  const std::unique_ptr<SimProcess> sim = TcpSim(terminals);
  fakes::FakeFrappe site;
  site.AddEmployee({"HR-EMP-00001",
                    {{"attendance_device_id", std::to_string(kRevokedCard)},
                     {"employee_number", "1"},
                     {"employee_name", "Bench"}}});
  const std::filesystem::path key = folder / "leaver-tcp.key";
  const std::filesystem::path secret = folder / "leaver-tcp.secret";
  std::filesystem::create_directories(folder);
  std::ofstream(key) << "the-key\n";
  std::ofstream(secret) << "the-secret\n";
  const std::string source = "\n[[holders_from]]\nname = \"erp\"\nkind = \"erpnext\"\nurl = \"" +
                             site.url() + "\"\napi_key_file = \"" + key.string() +
                             "\"\napi_secret_file = \"" + secret.string() + "\"\nevery = " +
                             std::to_string(kEverySeconds) + "\ndefault_groups = [\"*\"]\n";
  CardRollout rollout(folder / "leaver-tcp", TcpTerminals(*sim), 64, source);
  if (!Started(figures, rollout)) return;
  Convergence last;
  if (!rollout.WaitFor({kRevokedCard}, CardChange::kAdd, 50ms, 300s, last)) {
    figures.Failed("    the employee's card did not reach every terminal within 300 s: " +
                   last.Text());
    return;
  }
  const auto start = Clock::now();
  site.SetStatus("HR-EMP-00001", "Left");
  const auto done = rollout.WaitFor({kRevokedCard}, CardChange::kRemove, 20ms, 300s, last);
  if (!done) {
    figures.Failed("    the leaver's card was not removed everywhere within 300 s: " + last.Text());
    return;
  }
  figures.Print(std::to_string(terminals) + " TCP terminals, a leaver in HR (read every " +
                    std::to_string(kEverySeconds) + " s) off all",
                Since(start, *done), "s", kEverySeconds + 5);
  ConfirmOnSimulator(figures, *sim, Sample(terminals, true), 0);
}

// A CSV of `count` cardholders for every terminal; their cards.
std::vector<uint32_t> WriteHolders(const std::filesystem::path& file, int count) {
  std::ofstream out(file);
  out << "card,staff,name,terminals\n";
  std::vector<uint32_t> cards;
  for (int i = 0; i < count; ++i) {
    cards.push_back(kFirstImported + static_cast<uint32_t>(i));
    out << cards.back() << "," << i + 1 << ",P" << i + 1 << ",*\n";
  }
  return cards;
}

// `cards import` of `count` holders; the seconds until every terminal holds
// them all, or nothing (said as FAILED).
std::optional<double> Import(Figures& figures, CardRollout& rollout, int count,
                             std::chrono::milliseconds every) {
  const std::filesystem::path file = rollout.folder() / "holders.csv";
  const std::vector<uint32_t> cards = WriteHolders(file, count);
  const auto start = Clock::now();
  if (rollout.Cards({"import", file.string()}) != 0) {
    figures.Failed("    cards import: " + rollout.CardsLog());
    return std::nullopt;
  }
  std::printf("    (`cards import` itself: %.2f s)\n", Since(start, Clock::now()));
  Convergence last;
  const auto done = rollout.WaitFor(cards, CardChange::kAdd, every, 1200s, last);
  if (!done) {
    figures.Failed("    not every terminal holds the cards after 1200 s: " + last.Text());
    return std::nullopt;
  }
  return Since(start, *done);
}

void ImportTcp(Figures& figures, const std::filesystem::path& folder, const Sizes& sizes) {
  const int terminals = sizes.Terminals(50);
  const int cards = sizes.Cards(5000);
  const std::unique_ptr<SimProcess> sim = TcpSim(terminals);
  CardRollout rollout(folder / "import", TcpTerminals(*sim), 64);
  if (!Started(figures, rollout)) return;
  const std::optional<double> seconds = Import(figures, rollout, cards, 250ms);
  if (!seconds) return;
  figures.Print(std::to_string(cards) + " cardholders imported onto " + std::to_string(terminals) +
                    " TCP terminals, all enrolled and found",
                *seconds, "s", 60);
  ConfirmOnSimulator(figures, *sim, Sample(terminals, true), cards);
}

// The wire time of the exchanges the simulator logged from line `from` on:
// each command frame, the address byte sent before it and its reply, 11
// bits a character (the 1 ms pause after each address byte is not
// counted). What was seen, by command, goes into `seen`.
double WireSeconds(const std::vector<std::string>& lines, size_t from, std::string& seen) {
  const std::map<int, const CommandSpec*> specs = {
      {command::kCardSendToMachine.code, &command::kCardSendToMachine},
      {command::kFindCard.code, &command::kFindCard},
      {command::kClearName.code, &command::kClearName},
      {command::kRecordPages.code, &command::kRecordPages},
      {command::kCardPages.code, &command::kCardPages}};
  const std::regex frame(R"(\brx addr=\d+ cmd=0x([0-9A-Fa-f]{2}) (\w+))");
  std::map<std::string, int> counts;
  int64_t characters = 0;
  for (size_t i = from; i < lines.size(); ++i) {
    std::smatch match;
    if (!std::regex_search(lines[i], match, frame)) continue;
    const int code = std::stoi(match[1].str(), nullptr, 16);
    const auto spec = specs.find(code);
    std::string name = match[2].str();
    if (spec == specs.end()) {
      name += " (not counted)";
    } else {
      // A page command's page 0 is the count; no other page is expected
      // here (nothing new to collect, an empty list read before).
      characters += 1 + spec->second->frame_length + spec->second->reply_length;
    }
    ++counts[name];
  }
  for (const auto& [name, count] : counts) {
    seen += (seen.empty() ? "" : ", ") + std::to_string(count) + " " + name;
  }
  return static_cast<double>(characters) * kBitsPerCharacter / kBitsPerSecond;
}

// The same exchanges made by a line of this process, without the
// collector, on the same bus: what the wire and the simulator take.
void LineAlone(const std::string& device, int cards) {
  Result<std::unique_ptr<Line>> line = Line::Open(SerialEndpoint{device}, LineOptions{});
  if (!line) throw std::runtime_error(device + ": " + line.error().message());
  const double seconds = SecondsOf([&] {
    for (int i = 0; i < cards; ++i) {
      const uint32_t card = kFirstAlone + static_cast<uint32_t>(i);
      const Status enrolled = (*line)->EnrolCard(1, card, "00000001", "Line");
      if (!enrolled) throw std::runtime_error("EnrolCard: " + enrolled.error().message());
      const Result<bool> found = (*line)->FindCard(1, card);
      if (!found || !*found) throw std::runtime_error("FindCard did not find the card enrolled");
    }
  });
  const CommandSpec& enrol = command::kCardSendToMachine;
  const CommandSpec& find = command::kFindCard;
  const int characters =
      2 + enrol.frame_length + enrol.reply_length + find.frame_length + find.reply_length;
  std::printf("    the line alone, no collector: %d more enrolments with FindCard, %.2f ms a card "
              "(wire %.2f ms a card; no target)\n",
              cards, seconds * 1000 / cards,
              characters * kBitsPerCharacter * 1000 / kBitsPerSecond);
}

void Bus1000(Figures& figures, const std::filesystem::path& folder, const Sizes& sizes) {
  const int cards = sizes.Cards(1000);
  SimProcess sim(BusArgs(1, false));
  CardRollout rollout(folder / "bus-1000", BusTerminals(sim, 1), 64);
  if (!Started(figures, rollout)) return;
  const size_t before = sim.Lines().size();
  const std::optional<double> seconds = Import(figures, rollout, cards, 100ms);
  if (!seconds) return;
  std::string seen;
  const double wire = WireSeconds(sim.Lines(), before, seen);
  char extra[160];
  std::snprintf(extra, sizeof extra, "; wire time of the exchanges %.2f s", wire);
  figures.Print(std::to_string(cards) + " cardholders onto one terminal of a bus at 19200 bit/s",
                *seconds, "s", wire * 1.2, extra);
  std::printf("    frames the simulator answered meanwhile: %s\n", seen.c_str());
  ConfirmOnSimulator(figures, sim, {"1"}, cards);
  rollout.Stop();
  LineAlone(sim.pty_path(), 200);
}

}  // namespace
}  // namespace tallygate::bench

int main(int argc, char** argv) {
  using namespace tallygate::bench;
  std::vector<std::string> which;
  Sizes sizes;
  CLI::App app("How fast tallygate-collector carries a change of the card lists out on\n"
               "tallygate-sim's terminals: a revocation on 200 TCP terminals and on a bus of\n"
               "30 at 19200 bit/s, 5,000 cardholders imported onto 50 TCP terminals, 1,000\n"
               "onto one terminal of the bus; each figure beside its target.",
               "cards_bench");
  tallygate::command_line::Prepare(app);
  app.add_option("WHICH", which, "the scenarios to run (default: all)")
      ->check(CLI::IsMember({"revoke-tcp", "revoke-bus", "leaver-tcp", "import", "bus-1000"}));
  app.add_option("--terminals", sizes.terminals, "terminals in the scenarios' fleets")
      ->transform(tallygate::command_line::DecimalIn(1, 1000))
      ->type_name("N");
  app.add_option("--cards", sizes.cards, "cardholders imported (import, bus-1000)")
      ->transform(tallygate::command_line::DecimalIn(1, 30000))
      ->type_name("N");
  bool keep = false;
  app.add_flag("--keep", keep, "leave the configurations, stores and logs in TMPDIR");
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  const std::optional<std::string> made = SimBenchFolder("cards_bench");
  if (!made) return 1;
  const std::string& folder = *made;
  const auto runs = [&](const char* name) {
    return which.empty() || std::find(which.begin(), which.end(), name) != which.end();
  };
  Figures figures;
  const std::vector<std::pair<const char*, void (*)(Figures&, const std::filesystem::path&,
                                                    const Sizes&)>>
      scenarios = {{"revoke-tcp", RevokeTcp}, {"revoke-bus", RevokeBus},
                   {"leaver-tcp", LeaverTcp}, {"import", ImportTcp},
                   {"bus-1000", Bus1000}};
  for (const auto& [name, scenario] : scenarios) {
    if (!runs(name)) continue;
    try {
      std::filesystem::create_directories(std::filesystem::path(folder) / name);
      scenario(figures, folder, sizes);
    } catch (const std::exception& error) {
      figures.Failed(std::string("cards_bench ") + name + ": " + error.what());
    }
  }
  if (keep) {
    std::printf("kept in %s\n", folder.c_str());
  } else {
    std::filesystem::remove_all(folder);
  }
  std::printf("%s\n", figures.all_met() ? "All card targets met." : "Some card target MISSED.");
  return 0;
}
