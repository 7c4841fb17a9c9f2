#include "soak/soak_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unordered_set>

#include "link/connect/collected_lines.h"
#include "link/protocol/command_table.h"
#include "link/protocol/units.h"
#include "sim/model/reply_builder.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_view.h"
#include "soak/collection_audit.h"
#include "soak/probe.h"
#include "tallygate/connect_v70.h"

namespace tallygate::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int16_t kAddress = 1;
constexpr int32_t kSleepDate = 1;  // seconds per unit: only a missing unit costs it
constexpr size_t kMaxFindings = 25;
constexpr int kSampleEvery = 200;
constexpr int kConnected = 7;
constexpr const char* kMarker = "marker: not written by the collection\r\n";

// The objects' settings file and line settings are per process and per
// thread; linking is done one transport at a time.
std::mutex& LinkMutex() {
  static std::mutex mutex;
  return mutex;
}

// Card lines are decoded from the names' code page by the library itself;
// what the audit needs from them is which entry sits where.
std::string CardLineOf(const sim::CardEntry& entry) {
  return CardLine(sim::CardUnit(kAddress, command::kCardPages.code, entry), false, 0);
}

std::string DecimalCard(const std::array<uint8_t, 4>& card) {
  const auto value = static_cast<int32_t>(uint32_t{card[0]} << 24 | uint32_t{card[1]} << 16 |
                                          uint32_t{card[2]} << 8 | uint32_t{card[3]});
  return std::to_string(value);
}

uint8_t Bcd(int value) { return static_cast<uint8_t>((value / 10) << 4 | (value % 10)); }

std::optional<std::vector<std::string>> ReadCollected(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  if (all == kMarker) return std::nullopt;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

struct CallResult {
  bool ok = false;     // what the library reported
  bool right = true;   // the value it returned is the terminal's
  std::string value;   // for findings
};

// The library's reply wait and length of `spec`, under the simulator's name.
CommandTraits Traits(const char* name, const CommandSpec& spec, bool checks_echo) {
  return {name, spec.timeout_seconds, spec.reply_length, checks_echo};
}

struct Command {
  CommandTraits traits;
  std::function<CallResult()> call;
};

class Soak {
 public:
  Soak(const SoakOptions& options, testing::SimProcess& sim)
      : options_(options), sim_(sim), random_(options.seed * 7919u + (tcp() ? 1u : 2u)) {
    records_ = sim::SyntheticRecords(static_cast<size_t>(options.records), options.seed);
    cards_ = sim::SyntheticCards(static_cast<size_t>(options.cards), options.seed);
    for (const sim::CardEntry& entry : cards_) listed_.insert(DecimalCard(entry.card));
    figures_.transport = TransportName(options.transport);
  }

  SoakFigures Run();

 private:
  bool tcp() const { return options_.transport == Transport::kTcp; }
  void Link();
  void Reconnect();
  void Inject(const std::string& rule);
  void ClearFaults();
  void Finding(const std::string& text);
  void Sample();
  void Beat() {
    if (options_.heartbeat != nullptr) options_.heartbeat->fetch_add(1);
  }
  void CheckConnection(bool closed_expected);
  std::vector<Command> Commands();
  void SingleCall(const Command& command);
  void Collection(bool records);

  const SoakOptions& options_;
  testing::SimProcess& sim_;
  std::mt19937 random_;
  std::unique_ptr<Connect_v70> object_;
  std::vector<sim::AttendanceRecord> records_;
  std::vector<sim::CardEntry> cards_;
  std::unordered_set<std::string> listed_;
  std::string parameters_;
  int16_t storage_mode_ = 1;
  int writes_ = 0;
  int finds_ = 0;
  // The call before this one, for findings: a failure no fault called for
  // is most often explained by what came before it.
  std::string previous_ = "none";
  SoakFigures figures_;
};

void Soak::Link() {
  std::lock_guard lock(LinkMutex());
  object_ = std::make_unique<Connect_v70>();
  if (tcp()) {
    object_->Mode(1);
    if (!object_->Connect_Net("127.0.0.1", sim_.tcp_port())) {
      throw std::runtime_error("cannot connect to the simulator");
    }
  } else {
    object_->Mode(0);
    if (!object_->SetPort(1)) throw std::runtime_error("cannot open the simulator's bus");
  }
}

void Soak::Reconnect() {
  ++figures_.reconnects;
  const auto start = Clock::now();
  object_->Disconnect_Net();
  const bool connected = object_->Connect_Net("127.0.0.1", sim_.tcp_port());
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  // Each of the two waits 2 seconds at most.
  if (!connected || took > 4.0 + options_.slack_seconds) {
    ++figures_.reconnect_failures;
    Finding("reconnect: " + std::string(connected ? "took " + std::to_string(took) + " s" : "failed"));
    if (!connected) throw std::runtime_error("the connection to the simulator cannot be made again");
  }
}

void Soak::Inject(const std::string& rule) {
  const std::string answer = sim_.Control("fault " + rule);
  if (answer.rfind("ok", 0) != 0) throw std::runtime_error("the simulator refused " + rule + ": " + answer);
}

void Soak::ClearFaults() { sim_.Control("clear-faults"); }

void Soak::Finding(const std::string& text) {
  if (figures_.findings.size() < kMaxFindings) {
    figures_.findings.push_back(figures_.transport + " call " + std::to_string(figures_.calls) + ": " + text);
  }
}

void Soak::Sample() {
  const int descriptors = OpenDescriptors();
  const int64_t resident = ResidentKiB();
  figures_.descriptors_most = std::max(figures_.descriptors_most, descriptors);
  figures_.resident_kib_most = std::max(figures_.resident_kib_most, resident);
  if (figures_.resident_kib_first == 0) figures_.resident_kib_first = resident;
  figures_.resident_kib_last = resident;
}

void Soak::CheckConnection(bool closed_expected) {
  if (!tcp()) return;
  const int16_t state = object_->tcpState();
  if (closed_expected && state == kConnected) Finding("the terminal closed, yet the state is connected");
  if (!closed_expected && state != kConnected) Finding("connection lost: state " + std::to_string(state));
  if (state != kConnected) Reconnect();
}

std::vector<Command> Soak::Commands() {
  Connect_v70& o = *object_;
  return {
      {Traits("ClearFlag", command::kClearFlag, false), [&o] { return CallResult{o.ClearFlag(kAddress), true, {}}; }},
      {Traits("GetStorageModel", command::kGetStorageModel, true),
       [&o, this] {
         const int16_t mode = o.GetStorageModel(kAddress);
         return CallResult{mode != -1, mode == storage_mode_, std::to_string(mode)};
       }},
      {Traits("GatherRecordSum", command::kRecordPages, true),
       [&o, this] {
         int32_t count = 0;
         std::string description;
         const bool ok = o.GatherRecordSum(kAddress, count, description);
         return CallResult{ok, count == static_cast<int32_t>(records_.size()), std::to_string(count)};
       }},
      {Traits("GatherSendCardSum", command::kCardPages, true),
       [&o, this] {
         int32_t count = 0;
         const bool ok = o.GatherSendCardSum(kAddress, count);
         return CallResult{ok, count == static_cast<int32_t>(cards_.size()), std::to_string(count)};
       }},
      {Traits("ReadSystemParameter", command::kReadSystemParameter, true),
       [&o, this] {
         std::string text;
         const bool ok = o.ReadSystemParameter(kAddress, text);
         return CallResult{ok, text == parameters_, text};
       }},
      {Traits("FindCard", command::kFindCard, false),
       [&o, this] {
         // Listed and unlisted cards in turn.
         const int n = finds_++;
         const std::string card = n % 2 == 0 && !cards_.empty()
                                      ? DecimalCard(cards_[static_cast<size_t>(n / 2) % cards_.size()].card)
                                      : std::to_string(2000000000 + n);
         bool listed = false;
         const bool ok = o.FindCard(kAddress, card, listed);
         return CallResult{ok, listed == (listed_.count(card) != 0), card + (listed ? " listed" : " not listed")};
       }},
      {Traits("SendRecordToMachine", command::kSendRecordToMachine, false),
       [&o, this] {
         // The terminal stores the record whether or not its answer comes
         // back: the frame always reaches it.
         const int n = writes_++;
         sim::AttendanceRecord record;
         record.card = {0x12, 0x34, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
         record.time = {Bcd(25), Bcd(1 + n / 2000 % 12), Bcd(1 + n / 60 % 28), Bcd(n / 3600 % 24),
                        Bcd(n % 60), Bcd(n * 7 % 60)};
         record.flag = 0x01;
         record.keep = 0x99;
         records_.push_back(record);
         const bool ok = o.SendRecordToMachine(kAddress, sim::HexDigits(record.card),
                                               sim::HexDigits(record.time), "01", "99");
         return CallResult{ok, true, {}};
       }},
  };
}

void Soak::SingleCall(const Command& command) {
  InjectedFault fault;
  if (std::bernoulli_distribution(options_.fault_rate)(random_)) {
    fault = DrawFault(random_, command.traits);
    Inject(std::string(command.traits.name) + ":next:" + fault.RuleKind());
  }
  const Expectation expected = Expect(command.traits, fault, tcp());

  const auto start = Clock::now();
  const CallResult result = command.call();
  const double took = std::chrono::duration<double>(Clock::now() - start).count();

  ++figures_.calls;
  ++figures_.exchanges;
  ++figures_.injected[static_cast<size_t>(fault.kind)];
  if (fault.kind != Fault::kNone) ++figures_.faulted_calls;
  if (!expected.succeeds) ++figures_.expected_failures;
  if (!result.ok) ++figures_.failures;
  const std::string what = std::string(command.traits.name) + " with fault " + fault.RuleKind();
  if (result.ok && !expected.succeeds) {
    ++figures_.false_successes;
    Finding(what + ": success reported, value " + result.value);
  } else if (result.ok && !result.right) {
    ++figures_.wrong_values;
    Finding(what + ": success with a wrong value " + result.value);
  } else if (!result.ok && expected.succeeds) {
    ++figures_.unexpected_failures;
    Finding(what + ": failed unexpectedly after " + std::to_string(took) + " s (previous call: " + previous_ + ")");
  }
  figures_.longest_call_seconds = std::max(figures_.longest_call_seconds, took);
  figures_.worst_margin_seconds = std::max(figures_.worst_margin_seconds, took - expected.max_seconds);
  if (took > expected.max_seconds + options_.slack_seconds) {
    ++figures_.overruns;
    Finding(what + ": took " + std::to_string(took) + " s");
  }
  previous_ = what + (result.ok ? ", passed" : ", failed") + " in " + std::to_string(took) + " s";
  if (fault.kind != Fault::kNone) ClearFaults();
  if (expected.settle_seconds > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(expected.settle_seconds));
  }
  CheckConnection(expected.reconnect);
}

void Soak::Collection(bool records) {
  const CommandSpec& pages_command = records ? command::kRecordPages : command::kCardPages;
  const uint8_t code = pages_command.code;
  const int unit_length = records ? record_unit::kLength : card_unit::kLength;
  const int attempts = records ? 5 : 3;
  std::vector<std::string> held;
  if (records) {
    held = HeldRecordLines(records_);
  } else {
    for (const sim::CardEntry& entry : cards_) held.push_back(CardLineOf(entry));
  }
  const auto count = static_cast<int32_t>(held.size());
  const int32_t pages = (count + kUnitsPerPage - 1) / kUnitsPerPage;

  // At most one fault: on the count query, or on one unit of one page's
  // first attempt.
  InjectedFault fault;
  bool expect_complete = true, expect_failure = false, expect_close = false;
  if (std::bernoulli_distribution(options_.fault_rate)(random_)) {
    const int32_t page = std::uniform_int_distribution<int32_t>(0, pages)(random_);
    char target[48];
    if (page == 0) {
      const CommandTraits count_query = Traits("count", pages_command, true);
      fault = DrawFault(random_, count_query);
      const Expectation e = Expect(count_query, fault, tcp());
      expect_complete = e.succeeds;
      expect_failure = !e.succeeds;
      expect_close = e.reconnect;
      if (e.settle_seconds > 0) expect_complete = false;
      std::snprintf(target, sizeof target, "0x%02X,page=0", code);
    } else {
      const int32_t units = page < pages ? kUnitsPerPage : count - (pages - 1) * kUnitsPerPage;
      const int unit = std::uniform_int_distribution<int>(0, units - 1)(random_);
      const CommandTraits one_unit{"unit", kSleepDate, unit_length, false};
      fault = DrawFault(random_, one_unit);
      // A retry of the page mends any spoiled unit; only a closed
      // connection ends the collection part-way.
      expect_close = fault.kind == Fault::kClose && tcp();
      expect_complete = !expect_close;
      std::snprintf(target, sizeof target, "0x%02X,page=%d,unit=%d", code, page, unit);
    }
    Inject(std::string(target) + ":1:" + fault.RuleKind());
  }

  const std::filesystem::path file = options_.folder / (records ? "records.txt" : "cards.txt");
  { std::ofstream(file, std::ios::binary | std::ios::trunc) << kMarker; }
  CollectionOutcome outcome;
  const auto start = Clock::now();
  outcome.result = records ? object_->GatherData(kAddress, options_.folder.string(), file.filename().string(),
                                                 outcome.description, outcome.back_record_sum, kSleepDate)
                           : object_->GatherSendCardData(kAddress, options_.folder.string(),
                                                         file.filename().string(), outcome.description,
                                                         outcome.back_record_sum, kSleepDate);
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.lines = ReadCollected(file);
  const CollectionAudit audit = AuditCollection(held, outcome);

  ++figures_.calls;
  ++figures_.collections;
  figures_.exchanges += 1 + pages;
  ++figures_.injected[static_cast<size_t>(fault.kind)];
  if (fault.kind != Fault::kNone) ++figures_.faulted_calls;
  if (expect_failure) ++figures_.expected_failures;
  if (!outcome.result) ++figures_.failures;
  figures_.records_held += audit.held;
  figures_.records_collected += audit.exact;
  figures_.misplaced_lines += audit.misplaced;
  if (audit.complete) {
    ++figures_.complete_collections;
  } else if (outcome.result) {
    ++figures_.described_partial_collections;
    figures_.records_lost_described += audit.lost;
  } else {
    ++figures_.failed_collections;
  }

  const std::string what = std::string(records ? "GatherData" : "GatherSendCardData") + " of " +
                           std::to_string(count) + " with fault " + fault.RuleKind();
  if (audit.Violated()) {
    ++figures_.collection_violations;
    Finding(what + ": " + audit.Describe() + " [" + outcome.description + "]");
  } else if (outcome.result && expect_failure) {
    ++figures_.false_successes;
    Finding(what + ": success reported after a spoiled count");
  } else if (expect_complete && !audit.complete) {
    ++figures_.unexpected_failures;
    Finding(what + ": not complete: " + audit.Describe() + " [" + outcome.description +
            "] (previous call: " + previous_ + ")");
  }
  const double bound = CollectionBound(count, attempts, kSleepDate);
  figures_.longest_call_seconds = std::max(figures_.longest_call_seconds, took);
  if (took > bound + options_.slack_seconds) {
    ++figures_.overruns;
    Finding(what + ": took " + std::to_string(took) + " s");
  }
  previous_ = what + (outcome.result ? ", true" : ", false") + " in " + std::to_string(took) + " s";
  if (fault.kind != Fault::kNone) ClearFaults();
  // A unit or count held back may still be on its way: let it land, so that
  // the next call discards it.
  if (fault.kind == Fault::kDelay) {
    std::this_thread::sleep_for(std::chrono::duration<double>(fault.value / 1000.0));
  }
  CheckConnection(expect_close);
}

SoakFigures Soak::Run() {
  figures_.descriptors_before = OpenDescriptors();
  const auto start = Clock::now();
  Link();
  if (!object_->ReadSystemParameter(kAddress, parameters_)) {
    throw std::runtime_error("the simulator does not answer");
  }
  storage_mode_ = object_->GetStorageModel(kAddress);
  const std::vector<Command> commands = Commands();
  // ClearFlag .. SendRecordToMachine, then the two collections.
  std::discrete_distribution<int> pick({25, 12, 12, 8, 10, 12, 6, 3, 2});
  Sample();
  while (figures_.exchanges < options_.exchanges) {
    const int choice = pick(random_);
    if (choice < static_cast<int>(commands.size())) {
      SingleCall(commands[static_cast<size_t>(choice)]);
    } else {
      Collection(choice == static_cast<int>(commands.size()));
    }
    Beat();
    if (figures_.calls % kSampleEvery == 0) Sample();
  }
  Sample();
  if (tcp()) object_->Disconnect_Net();
  object_->Mode(0);
  object_->DestoryPort();
  object_.reset();
  figures_.descriptors_after = OpenDescriptors();
  figures_.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return figures_;
}

}  // namespace

const char* TransportName(Transport transport) { return transport == Transport::kTcp ? "TCP" : "pty"; }

std::vector<std::string> SimArguments(const SoakOptions& options) {
  std::vector<std::string> args;
  if (options.transport == Transport::kTcp) {
    args = {"--tcp-port", "0"};
  } else {
    args = {"--pty"};
  }
  const std::vector<std::string> rest{"--address",     "1", "--records", std::to_string(options.records),
                                      "--cards",       std::to_string(options.cards),
                                      "--seed",        std::to_string(options.seed), "--quiet"};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

SoakFigures RunSoak(const SoakOptions& options, testing::SimProcess& sim) {
  Soak soak(options, sim);
  return soak.Run();
}

}  // namespace tallygate::soak
