#include "sim/app/options.h"

#include <charconv>
#include <fstream>
#include <string_view>

#include "sim/model/synthetic_data.h"

namespace tallygate::sim {
namespace {

uint64_t Number(std::string_view option, std::string_view text, uint64_t low, uint64_t high) {
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    throw UsageError(std::string(option) + " needs a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not \"" + std::string(text) + "\"");
  }
  return value;
}

std::string Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

FaultRule Rule(std::string_view text) {
  try {
    return ParseFaultRule(text);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
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

SimOptions ParseOptions(int argc, const char* const* argv) {
  SimOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool inline_value = false;
    if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      inline_value = true;
    }
    auto take = [&]() -> std::string_view {
      if (inline_value) return value;
      if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
      return argv[++i];
    };
    auto flag = [&] {
      if (inline_value) throw UsageError(std::string(arg) + " takes no value");
      return true;
    };

    if (arg == "--help" || arg == "-h") {
      options.help = flag();
    } else if (arg == "--tcp-port") {
      options.tcp_port = static_cast<uint16_t>(Number(arg, take(), 0, 65535));
    } else if (arg == "--listen") {
      options.listen = std::string(take());
    } else if (arg == "--pty") {
      options.pty = flag();
    } else if (arg == "--address") {
      const auto address = static_cast<uint8_t>(Number(arg, take(), 0, 255));
      for (uint8_t known : options.addresses) {
        if (known == address) throw UsageError("--address " + std::to_string(address) + " given twice");
      }
      options.addresses.push_back(address);
    } else if (arg == "--records") {
      options.records = Number(arg, take(), 0, kMaxSyntheticEntries);
    } else if (arg == "--cards") {
      options.cards = Number(arg, take(), 0, kMaxSyntheticEntries);
    } else if (arg == "--seed") {
      options.seed = static_cast<uint32_t>(Number(arg, take(), 0, UINT32_MAX));
    } else if (arg == "--storage-mode") {
      options.storage_mode = static_cast<uint8_t>(Number(arg, take(), 0, 255));
    } else if (arg == "--fault") {
      options.faults.push_back(Rule(take()));
    } else if (arg == "--scenario") {
      for (FaultRule& rule : ReadScenario(std::string(take()))) options.faults.push_back(std::move(rule));
    } else if (arg == "--wire-speed") {
      options.wire_speed = flag();
    } else if (arg == "--silence-ms") {
      options.silence = std::chrono::milliseconds(Number(arg, take(), 1, 60'000));
    } else if (arg == "--quiet") {
      options.quiet = flag();
    } else if (arg == "--exit-on-eof") {
      options.exit_on_eof = flag();
    } else {
      throw UsageError("unknown option " + std::string(arg));
    }
  }
  if (options.addresses.empty()) options.addresses.push_back(1);
  return options;
}

std::string HelpText() {
  return std::string(R"(Usage: tallygate-sim [OPTIONS]

Simulated attendance terminals for testing without hardware. Serves the
terminals' command frames over TCP, over a pseudo-terminal standing in for
the serial bus, or both.

Transports (TCP on port 1001 when neither is given):
  --tcp-port N       listen for one TCP client on port N (0: a free port);
                     serves the first --address terminal
  --listen ADDR      IPv4 address to listen on (default 127.0.0.1)
  --pty              create a pseudo-terminal serving every terminal

Terminals:
  --address A        a terminal at bus address A (0-255; repeatable;
                     default 1)
  --records N        seed each terminal with N synthetic attendance records
  --cards N          seed each terminal with N synthetic card-list entries
  --seed S           seed of the synthetic data (default 1)
  --storage-mode M   initial storage mode (default 1)

Behaviour:
  --fault RULE       a fault rule (repeatable), see below
  --scenario FILE    fault rules from FILE, one a line, '#' comments
  --wire-speed       pace both directions at 19200 bit/s, 11-bit characters
  --silence-ms MS    silence after which a partial frame is dropped
                     (default 100)
  --quiet            no log lines for frames and connections
  --exit-on-eof      exit when standard input ends
  -h, --help         this text

Standard output: "tcp ADDR PORT" and/or "pty PATH", then "ready"; then one
log line per frame ("rx addr=1 cmd=0x02 ClearFlag -> reply 01 00 02 03") and
one answer line ("ok ..." or "error ...") per control command.

Control commands on standard input, one a line:
  fault RULE           add a fault rule (counted from now)
  clear-faults         remove every fault rule
  faults               list the fault rules and how many frames each saw
  status [ADDR]        address, record and card counts, storage mode, ...,
                       then detail-lines=N indented lines: clock,
                       parameters, ring schedules, message, sound, password,
                       the card at the reader, cards, picture
  set-records N [ADDR] replace the records with N synthetic ones
  set-cards N [ADDR]   replace the card list with N synthetic entries
  present-card N [kind=K] [ADDR]
                       lay card N (32-bit decimal or 0x hex) on the reader,
                       for ReadCardNum; K the reading kind (default 4)
  quit                 exit
ADDR defaults to the first terminal.

)") + std::string(FaultRuleSyntax()) +
         R"(
The simulator exits on SIGINT, SIGTERM, "quit", and end of standard input
with --exit-on-eof. Exit status: 0 on a clean exit, 1 when a transport
cannot be set up, 2 for a bad command line.
)";
}

}  // namespace tallygate::sim
