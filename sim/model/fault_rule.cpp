#include "sim/model/fault_rule.h"

#include <array>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <vector>

#include "sim/model/terminal_commands.h"

namespace tallygate::sim {
namespace {

[[noreturn]] void Fail(std::string_view rule, const std::string& why) {
  throw std::invalid_argument("fault rule \"" + std::string(rule) + "\": " + why);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// A decimal number, or hexadecimal with 0x.
std::optional<uint64_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

uint64_t NumberIn(std::string_view rule, std::string_view what, std::string_view text,
                  uint64_t low, uint64_t high) {
  const std::optional<uint64_t> value = ParseNumber(text);
  if (!value || *value < low || *value > high) {
    Fail(rule, std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not \"" + std::string(text) + "\"");
  }
  return *value;
}

FaultTarget ParseTarget(std::string_view rule, std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, ',');
  FaultTarget target;
  const std::string_view command = parts[0];
  if (command == "any") {
    target.commands.set();
  } else if (command.starts_with("0x") || command.starts_with("0X")) {
    target.commands.set(NumberIn(rule, "command code", command, 0, 255));
  } else {
    const std::vector<uint8_t> codes = CodesNamed(command);
    if (codes.empty()) Fail(rule, "unknown command \"" + std::string(command) + "\"");
    for (uint8_t code : codes) target.commands.set(code);
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string_view qualifier = parts[i];
    const size_t equals = qualifier.find('=');
    const std::string_view key = qualifier.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : qualifier.substr(equals + 1);
    if (key == "addr") {
      target.address = static_cast<uint8_t>(NumberIn(rule, "addr", value, 0, 255));
    } else if (key == "page") {
      target.page = static_cast<uint8_t>(NumberIn(rule, "page", value, 0, 255));
    } else if (key == "unit") {
      target.unit = static_cast<int>(NumberIn(rule, "unit", value, 0, 65535));
    } else {
      Fail(rule, "unknown qualifier \"" + std::string(qualifier) + "\" (addr=, page=, unit=)");
    }
  }
  return target;
}

// P% as a probability: a decimal fraction from 0 to 100, without exponent.
double ParsePercent(std::string_view rule, std::string_view text) {
  const std::string_view digits = text.substr(0, text.size() - 1);
  double percent = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), percent,
                                         std::chars_format::fixed);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || !(percent >= 0) ||
      percent > 100) {
    Fail(rule, "probability must be a percentage from 0 to 100, not \"" + std::string(text) + "\"");
  }
  return percent / 100;
}

Occurrence ParseWhen(std::string_view rule, std::string_view text) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  constexpr uint64_t kHighest = 1'000'000'000;
  if (text == "next") return {1, 1, std::nullopt};
  if (text == "every") return {1, kMax, std::nullopt};
  if (text.ends_with('%')) return {1, kMax, ParsePercent(rule, text)};
  const size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    const uint64_t n = NumberIn(rule, "occurrence", text, 1, kHighest);
    return {n, n, std::nullopt};
  }
  const uint64_t first = NumberIn(rule, "first occurrence", text.substr(0, dash), 1, kHighest);
  const uint64_t last = NumberIn(rule, "last occurrence", text.substr(dash + 1), 1, kHighest);
  if (last < first) Fail(rule, "occurrence range " + std::string(text) + " runs backwards");
  return {first, last, std::nullopt};
}

struct KindInfo {
  std::string_view name;
  FaultKind kind;
  enum { kNoValue, kOptional, kRequired } value;
  int low;
  int high;
};

constexpr std::array<KindInfo, 8> kKinds{{
    {"drop", FaultKind::kDrop, KindInfo::kNoValue, 0, 0},
    {"wrong-address", FaultKind::kWrongAddress, KindInfo::kOptional, 0, 255},
    {"bad-check", FaultKind::kBadCheck, KindInfo::kNoValue, 0, 0},
    {"wrong-echo", FaultKind::kWrongEcho, KindInfo::kOptional, 0, 255},
    {"extra", FaultKind::kExtra, KindInfo::kRequired, 1, 65536},
    {"short", FaultKind::kShort, KindInfo::kRequired, 0, 65536},
    {"delay", FaultKind::kDelay, KindInfo::kRequired, 0, 3'600'000},
    {"close", FaultKind::kClose, KindInfo::kNoValue, 0, 0},
}};

void ParseKind(std::string_view rule, std::string_view text, FaultRule& out) {
  const size_t equals = text.find('=');
  const std::string_view name = text.substr(0, equals);
  for (const KindInfo& info : kKinds) {
    if (info.name != name) continue;
    out.kind = info.kind;
    const bool has_value = equals != std::string_view::npos;
    if (has_value && info.value == KindInfo::kNoValue) Fail(rule, std::string(name) + " takes no value");
    if (!has_value && info.value == KindInfo::kRequired) Fail(rule, std::string(name) + " needs =N");
    if (has_value) {
      out.value = static_cast<int>(NumberIn(rule, name, text.substr(equals + 1),
                                            static_cast<uint64_t>(info.low),
                                            static_cast<uint64_t>(info.high)));
    }
    return;
  }
  Fail(rule, "unknown fault kind \"" + std::string(name) + "\"");
}

}  // namespace

FaultRule ParseFaultRule(std::string_view text) {
  const std::vector<std::string_view> fields = Split(text, ':');
  if (fields.size() != 3) Fail(text, "expected TARGET:WHEN:KIND");
  FaultRule rule;
  rule.target = ParseTarget(text, fields[0]);
  rule.when = ParseWhen(text, fields[1]);
  ParseKind(text, fields[2], rule);
  rule.text = std::string(text);
  return rule;
}

std::string_view FaultKindName(FaultKind kind) {
  for (const KindInfo& info : kKinds) {
    if (info.kind == kind) return info.name;
  }
  return "?";
}

std::string_view FaultRuleSyntax() {
  return R"(Fault rules: TARGET:WHEN:KIND
  TARGET  command name (ClearRecord), code (0x06) or any, optionally with
          ,addr=N  ,page=N (first parameter byte: page of 0xBB/0xCC)
          ,unit=K (spoil only unit K, from 0, of a multi-unit reply)
  WHEN    next | N | N-M | every; matching frames counted from 1 from the
          moment the rule is added (command-line rules: from the start);
          or P% (e.g. 2.5%): each matching frame with probability P,
          repeatable by --seed (in a fleet each terminal draws its own)
  KIND    drop | wrong-address[=B] | bad-check | wrong-echo[=B] | extra=N |
          short=N | delay=MS | close
  e.g.    ClearRecord:next:delay=3000  any:5:drop  0xBB:2-3:bad-check
          any:5%:drop
In a fleet every terminal applies each rule to its own frames.
)";
}

}  // namespace tallygate::sim
