#include "sim/app/control.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "link/protocol/command_table.h"
#include "sim/app/punch_rate.h"
#include "sim/app/wall_clock.h"
#include "sim/model/punch_source.h"
#include "sim/model/record_memory.h"
#include "sim/model/reply_builder.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_view.h"

namespace tallygate::sim {
namespace {

std::vector<std::string> Words(std::string_view line) {
  std::istringstream in{std::string(line)};
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::optional<uint64_t> Number(std::string_view text) {
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A byte in decimal or 0x hexadecimal.
std::optional<uint64_t> ByteOrHex(std::string_view text) {
  std::optional<uint64_t> value;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    uint64_t hex = 0;
    text.remove_prefix(2);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), hex, 16);
    if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) value = hex;
  } else {
    value = Number(text);
  }
  if (value && *value > 255) return std::nullopt;
  return value;
}

// A card number as the reader would hand it over: signed or unsigned 32-bit
// decimal (-1 and 4294967295 are the same four bytes), or 0x hexadecimal.
std::optional<uint32_t> CardNumber(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < INT32_MIN || value > int64_t{UINT32_MAX}) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string Hex(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return "-";
  std::string text;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

}  // namespace

std::string StatusText(const Terminal& terminal, bool memory) {
  const TerminalState& s = terminal.state();
  std::string text = "addr=" + std::to_string(s.address) +
                     " records=" + std::to_string(s.records.size()) +
                     " cards=" + std::to_string(s.cards.size()) +
                     " storage-mode=" + std::to_string(s.storage_mode) +
                     " message=" + Hex(s.message) +
                     " message-time=" + std::to_string(s.message_time) +
                     " sound=" + (s.last_sound ? std::to_string(*s.last_sound) : "-") +
                     " password=";
  for (uint8_t digit : s.password) text += std::to_string(digit);
  text += " picture-blocks=" + std::to_string(s.picture_blocks);
  if (memory) {
    text += " capacity=" + std::to_string(s.record_capacity) +
            " refused=" + std::to_string(s.refused_punches);
  }
  return text;
}

Station* Control::Target(std::string_view text, std::string& error) const {
  if (stations_.empty()) {
    error = "no terminals";
    return nullptr;
  }
  if (text.empty()) return &stations_.front();
  if (text.starts_with('#')) {
    const std::optional<uint64_t> number = Number(text.substr(1));
    for (Station& station : stations_) {
      if (number && station.tcp_number > 0 && static_cast<uint64_t>(station.tcp_number) == *number) return &station;
    }
    error = "no TCP terminal " + std::string(text);
    return nullptr;
  }
  const std::optional<uint64_t> address = Number(text);
  for (Station& station : stations_) {
    if (address && station.terminal.address() == *address) return &station;
  }
  error = "no terminal at address " + std::string(text);
  return nullptr;
}

// status [TARGET]
Control::Result Control::Status(const std::vector<std::string>& words) {
  std::string error;
  Station* station = Target(words.size() > 1 ? words[1] : "", error);
  if (station == nullptr) return {"error " + error};
  const TerminalState& state = station->terminal.state();
  Result result;
  result.detail = StatusDetail(state);
  result.answer = "ok status " + StatusText(station->terminal, shows_memory_ || state.refused_punches > 0) +
                  " faults=" + std::to_string(station->faults->size()) +
                  " detail-lines=" + std::to_string(result.detail.size());
  return result;
}

// set-records N [TARGET], set-cards N [TARGET]: made up from the terminal's
// seed.
Control::Result Control::Seed(const std::vector<std::string>& words) {
  const std::string& command = words[0];
  const std::optional<uint64_t> count = Number(words[1]);
  if (!count || *count > kMaxSyntheticEntries) {
    return {"error " + command + " needs a count from 0 to " + std::to_string(kMaxSyntheticEntries)};
  }
  std::string error;
  Station* station = Target(words.size() > 2 ? words[2] : "", error);
  if (station == nullptr) return {"error " + error};
  TerminalState& state = station->terminal.state();
  if (command == "set-records") {
    ReplaceRecords(state, SyntheticRecords(*count, station->seed));
  } else {
    state.cards = SyntheticCards(*count, station->seed);
  }
  return {"ok " + command + " " + std::to_string(*count) + " addr=" + std::to_string(state.address)};
}

// add-records N [TARGET]: N swipes at the reader now.
Control::Result Control::AddRecords(const std::vector<std::string>& words) {
  const std::optional<uint64_t> count = Number(words[1]);
  if (!count || *count > kMaxSyntheticEntries) {
    return {"error add-records needs a count from 0 to " + std::to_string(kMaxSyntheticEntries)};
  }
  std::string error;
  Station* station = Target(words.size() > 2 ? words[2] : "", error);
  if (station == nullptr) return {"error " + error};
  TerminalState& state = station->terminal.state();
  const size_t stored = Punch(state, station->punches, *count, LocalBcdTimeNow());
  return {"ok add-records " + std::to_string(*count) + " addr=" + std::to_string(state.address) +
          " stored=" + std::to_string(stored) + " records=" + std::to_string(state.records.size())};
}

// dump-records [TARGET], dump-history [TARGET]: each record held, or each
// ever held, as the unit a record page carries.
Control::Result Control::Dump(const std::vector<std::string>& words) {
  std::string error;
  Station* station = Target(words.size() > 1 ? words[1] : "", error);
  if (station == nullptr) return {"error " + error};
  const TerminalState& state = station->terminal.state();
  const std::vector<AttendanceRecord>& records = words[0] == "dump-history" ? state.history : state.records;
  Result result;
  result.detail.reserve(records.size());
  for (const AttendanceRecord& record : records) {
    result.detail.push_back("  " + HexDigits(RecordUnit(state.address, command::kRecordPages.code, record)));
  }
  result.answer = "ok " + words[0] + " addr=" + std::to_string(state.address) +
                  " records=" + std::to_string(records.size()) +
                  " detail-lines=" + std::to_string(result.detail.size());
  return result;
}

// faults [TARGET]: the rules the terminal's lines apply, with its counts.
Control::Result Control::Faults(const std::vector<std::string>& words) {
  std::string error;
  Station* station = Target(words.size() > 1 ? words[1] : "", error);
  if (station == nullptr) return {"error " + error};
  std::string text = "ok faults count=" + std::to_string(station->faults->size());
  for (const std::string& rule : station->faults->Describe()) text += "; " + rule;
  return {text};
}

// punch-rate R [TARGET]: swipes a second from now on, at every terminal
// (as --punch-rate) or at TARGET alone; 0 stops them.
Control::Result Control::SetPunchRate(const std::vector<std::string>& words) {
  const std::optional<double> rate = ParsePunchRate(words[1]);
  if (!rate) {
    return {"error punch-rate needs swipes a second from 0 to " +
            std::to_string(static_cast<int>(kMaxPunchRate)) + ", not " + words[1]};
  }
  size_t changed = stations_.size();
  if (words.size() > 2) {
    std::string error;
    Station* station = Target(words[2], error);
    if (station == nullptr) return {"error " + error};
    punches_.SetRate(*station, *rate, Clock::now());
    changed = 1;
  } else {
    punches_.SetRate(*rate, Clock::now());
  }
  return {"ok punch-rate " + words[1] + " terminals=" + std::to_string(changed)};
}

// stop [TARGET], start [TARGET]: the terminal's TCP port goes away and
// comes back, as when it is switched off and on.
Control::Result Control::StopOrStart(const std::vector<std::string>& words) {
  const std::string& command = words[0];
  std::string error;
  Station* station = Target(words.size() > 1 ? words[1] : "", error);
  if (station == nullptr) return {"error " + error};
  if (!station->tcp) {
    return {"error the terminal at address " + std::to_string(station->terminal.address()) +
            " serves no TCP port"};
  }
  const std::string name = "#" + std::to_string(station->tcp_number);
  if (command == "stop") {
    station->tcp->Stop();
  } else {
    try {
      station->tcp->Start();
    } catch (const std::system_error& e) {
      return {"error start " + name + ": " + e.what()};
    }
  }
  return {"ok " + command + " " + name + " port=" + std::to_string(station->tcp->port())};
}

// present-card N [kind=K] [TARGET]: N as a signed or unsigned 32-bit decimal
// number or 0x hexadecimal; K the reading kind byte (default 0x04).
Control::Result Control::PresentCard(const std::vector<std::string>& words) {
  const std::optional<uint32_t> card = CardNumber(words[1]);
  if (!card) return {"error present-card needs a 32-bit card number, not " + words[1]};
  PresentedCard presented;
  presented.card = {static_cast<uint8_t>(*card >> 24), static_cast<uint8_t>(*card >> 16),
                    static_cast<uint8_t>(*card >> 8), static_cast<uint8_t>(*card)};
  std::string target;
  for (size_t i = 2; i < words.size(); ++i) {
    if (words[i].starts_with("kind=")) {
      const std::optional<uint64_t> kind = ByteOrHex(std::string_view(words[i]).substr(5));
      if (!kind) return {"error present-card kind must be a byte, not " + words[i].substr(5)};
      presented.kind = static_cast<uint8_t>(*kind);
    } else {
      target = words[i];
    }
  }
  std::string error;
  Station* station = Target(target, error);
  if (station == nullptr) return {"error " + error};
  station->terminal.state().presented_card = presented;
  return {"ok present-card " + PresentedCardText(presented) + " addr=" +
          std::to_string(station->terminal.address())};
}

Control::Result Control::Execute(std::string_view line) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return {};
  const std::string& command = words[0];
  const size_t args = words.size() - 1;

  if (command == "quit" && args == 0) return {"ok quit", true};
  if (command == "fault" && args == 1) {
    try {
      const FaultRule rule = ParseFaultRule(words[1]);
      for (FaultPlan& plan : fault_plans_) plan.Add(rule);
    } catch (const std::invalid_argument& e) {
      return {std::string("error ") + e.what()};
    }
    return {"ok fault " + words[1]};
  }
  if (command == "clear-faults" && args == 0) {
    // Every plan holds the same rules.
    const size_t removed = fault_plans_.empty() ? 0 : fault_plans_.front().size();
    for (FaultPlan& plan : fault_plans_) plan.Clear();
    return {"ok clear-faults removed=" + std::to_string(removed)};
  }
  if (command == "faults" && args <= 1) return Faults(words);
  if (command == "status" && args <= 1) return Status(words);
  if (command == "present-card" && args >= 1 && args <= 3) return PresentCard(words);
  if ((command == "set-records" || command == "set-cards") && (args == 1 || args == 2)) return Seed(words);
  if (command == "add-records" && (args == 1 || args == 2)) return AddRecords(words);
  if ((command == "dump-records" || command == "dump-history") && args <= 1) return Dump(words);
  if (command == "punch-rate" && (args == 1 || args == 2)) return SetPunchRate(words);
  if ((command == "stop" || command == "start") && args <= 1) return StopOrStart(words);
  return {"error unknown or malformed command: " + std::string(line)};
}

}  // namespace tallygate::sim
