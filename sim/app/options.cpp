#include "sim/app/options.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <string_view>

#include "common/cli/command_line.h"
#include "sim/app/punch_rate.h"
#include "sim/model/synthetic_data.h"

namespace tallygate::sim {
namespace {

using command_line::DecimalIn;

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

constexpr const char* kDescription =
    "Simulated attendance terminals for testing without hardware. Serves the\n"
    "terminals' command frames over TCP, over a pseudo-terminal standing in for\n"
    "the serial bus, or both.";

std::string Footer() {
  return std::string(R"(Standard output: "tcp ADDR PORT" (with --tcp-terminals one line per terminal,
"tcp ADDR PORT terminal=K") and/or "pty PATH", then "ready"; then one log line
per frame ("rx addr=1 cmd=0x02 ClearFlag -> reply 01 00 02 03"; in a fleet
each starts "#K ") and one answer line ("ok ..." or "error ...") per control
command.

Control commands on standard input, one a line:
  fault RULE           add a fault rule (counted from now), in a fleet to
                       every terminal
  clear-faults         remove every fault rule
  faults [TARGET]      list the fault rules and how many of the terminal's
                       frames each saw (and hit, for P% rules)
  status [TARGET]      address, record and card counts, storage mode, ...,
                       then detail-lines=N indented lines: clock,
                       parameters, ring schedules, message, sound, password,
                       the card at the reader, cards, picture
  set-records N [TARGET]
                       replace the records with N synthetic ones
  set-cards N [TARGET] replace the card list with N synthetic entries
  add-records N [TARGET]
                       swipe N cards now; a full memory refuses them
  dump-records [TARGET]
                       every record held, then detail-lines=N lines of 32
                       hex digits: the 16-byte units of a record page
  dump-history [TARGET]
                       the same for every record held since the start,
                       in the order they came, those since cleared too
  punch-rate R [TARGET]
                       swipes a second from now on at every terminal, or
                       at TARGET alone; 0 stops them
  present-card N [kind=K] [TARGET]
                       lay card N (32-bit decimal or 0x hex) on the reader,
                       for ReadCardNum; K the reading kind (default 4)
  stop [TARGET]        close the terminal's TCP port and its client
  start [TARGET]       listen on the same TCP port again
  quit                 exit
TARGET is a bus address or #K, the K-th terminal served over TCP; it
defaults to the first terminal (punch-rate: every terminal).

)") + std::string(FaultRuleSyntax()) +
         R"(
The simulator exits on SIGINT, SIGTERM, "quit", and end of standard input
with --exit-on-eof. Exit status: 0 on a clean exit, 1 when a transport
cannot be set up, 2 for a bad command line.)";
}

// A rate of swipes a second, as ParsePunchRate takes it.
CLI::Validator PunchRate() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (ParsePunchRate(text)) return {};
        return "needs a number of swipes a second from 0 to " + std::to_string(static_cast<int>(kMaxPunchRate)) +
               ", not \"" + text + "\"";
      },
      "");
}

// A fleet's terminals share the one --address and each has a port.
void CheckFleet(const SimOptions& options) {
  if (options.tcp_terminals == 0) return;
  if (options.pty) throw CLI::ValidationError("--tcp-terminals", "serves TCP only, not with --pty");
  if (options.addresses.size() > 1) {
    throw CLI::ValidationError("--tcp-terminals", "takes one --address, shared by every terminal");
  }
  const size_t first = options.tcp_port.value_or(kDefaultTcpPort);
  if (first != 0 && first + options.tcp_terminals - 1 > 65535) {
    throw CLI::ValidationError("--tcp-terminals", std::to_string(options.tcp_terminals) +
                                                      " ports from " + std::to_string(first) +
                                                      " go past 65535");
  }
}

}  // namespace

std::vector<FaultRule> ReadScenario(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw UsageError("cannot read scenario file " + path);
  std::vector<FaultRule> rules;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string rule = Trim(std::string_view(line).substr(0, line.find('#')));
    if (rule.empty()) continue;
    try {
      rules.push_back(ParseFaultRule(rule));
    } catch (const std::invalid_argument& e) {
      throw UsageError(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  return rules;
}

void AddOptions(CLI::App& app, SimOptions& options) {
  app.description(kDescription);
  app.footer(Footer());

  const std::string transports = "Transports (TCP on port 1001 when neither is given)";
  app.add_option_function<unsigned>(
         "--tcp-port", [&options](unsigned port) { options.tcp_port = static_cast<uint16_t>(port); },
         "listen for one TCP client on port N (0: a free port);\nserves the first --address terminal, or the\nfleet's first port")
      ->transform(DecimalIn(0, 65535))
      ->type_name("N")
      ->group(transports);
  app.add_option("--tcp-terminals", options.tcp_terminals,
                 "a fleet: N terminals (1-1000), each on its own\nport, consecutive from --tcp-port (0: free\nports), "
                 "each at --address with its own\nmemory; terminal K's data as with --seed S+K-1")
      ->transform(DecimalIn(1, kMaxTcpTerminals))
      ->type_name("N")
      ->group(transports);
  app.add_option("--listen", options.listen, "IPv4 address to listen on (default 127.0.0.1)")
      ->type_name("ADDR")
      ->group(transports);
  app.add_flag("--pty", options.pty, "create a pseudo-terminal serving every terminal")->group(transports);

  // Each --address is checked as it comes, so that the first repeat is named.
  app.add_option_function<unsigned>(
         "--address",
         [&options](unsigned value) {
           const auto address = static_cast<uint8_t>(value);
           for (uint8_t known : options.addresses) {
             if (known == address) {
               throw CLI::ValidationError("--address", std::to_string(address) + " given twice");
             }
           }
           options.addresses.push_back(address);
         },
         "a terminal at bus address A (0-255; repeatable;\ndefault 1); the K-th one's data as with --seed\nS+K-1")
      ->transform(DecimalIn(0, 255))
      ->type_name("A")
      ->trigger_on_parse()
      ->group("Terminals");
  app.add_option("--records", options.records, "seed each terminal with N synthetic attendance\nrecords")
      ->transform(DecimalIn(0, kMaxSyntheticEntries))
      ->type_name("N")
      ->group("Terminals");
  app.add_option("--cards", options.cards, "seed each terminal with N synthetic card-list entries")
      ->transform(DecimalIn(0, kMaxSyntheticEntries))
      ->type_name("N")
      ->group("Terminals");
  app.add_option("--seed", options.seed, "seed of the synthetic data and of P% fault\nrules (default 1)")
      ->transform(DecimalIn(0, UINT32_MAX))
      ->type_name("S")
      ->group("Terminals");
  app.add_option_function<unsigned>(
         "--storage-mode", [&options](unsigned mode) { options.storage_mode = static_cast<uint8_t>(mode); },
         "initial storage mode (default 1)")
      ->transform(DecimalIn(0, 255))
      ->type_name("M")
      ->group("Terminals");

  app.add_option("--capacity", options.capacity,
                 "records a terminal's memory holds; card swipes\nbeyond are refused (default " +
                     std::to_string(kDefaultRecordCapacity) + ")")
      ->transform(DecimalIn(0, kMaxSyntheticEntries))
      ->type_name("N")
      ->group("Terminals");
  app.add_option("--punch-rate", options.punch_rate,
                 "card swipes a second at each terminal while it\nruns, e.g. 0.5 (default 0: none; see punch-rate)")
      ->check(PunchRate())
      ->type_name("R")
      ->group("Terminals");

  // Rules from --fault and --scenario keep the order they were given in.
  app.add_option_function<std::string>(
         "--fault",
         [&options](const std::string& text) {
           try {
             options.faults.push_back(ParseFaultRule(text));
           } catch (const std::invalid_argument& e) {
             throw CLI::ValidationError("--fault", e.what());
           }
         },
         "a fault rule (repeatable), see below")
      ->type_name("RULE")
      ->trigger_on_parse()
      ->group("Behaviour");
  app.add_option_function<std::string>(
         "--scenario",
         [&options](const std::string& path) {
           try {
             for (FaultRule& rule : ReadScenario(path)) options.faults.push_back(std::move(rule));
           } catch (const UsageError& e) {
             throw CLI::ValidationError("--scenario", e.what());
           }
         },
         "fault rules from FILE, one a line, '#' comments")
      ->type_name("FILE")
      ->trigger_on_parse()
      ->group("Behaviour");
  app.add_flag("--wire-speed", options.wire_speed, "pace both directions at 19200 bit/s, 11-bit\ncharacters")
      ->group("Behaviour");
  app.add_option_function<unsigned>(
         "--silence-ms", [&options](unsigned ms) { options.silence = std::chrono::milliseconds(ms); },
         "silence after which a partial frame is dropped\n(default 100)")
      ->transform(DecimalIn(1, 60'000))
      ->type_name("MS")
      ->group("Behaviour");
  app.add_flag("--quiet", options.quiet, "no log lines for frames and connections")->group("Behaviour");
  app.add_flag("--exit-on-eof", options.exit_on_eof, "exit when standard input ends")->group("Behaviour");

  app.final_callback([&options] {
    if (options.addresses.empty()) options.addresses.push_back(1);
    CheckFleet(options);
  });
}

}  // namespace tallygate::sim
