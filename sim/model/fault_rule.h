// Fault rules: which replies to spoil, and how.
//
// A rule is three fields separated by colons, TARGET:WHEN:KIND.
//
//   TARGET  a command name (ClearRecord, or an alias such as SetClock), a
//           code (0x06) or `any`, optionally followed by qualifiers:
//             ,addr=N   only frames addressed to terminal N
//             ,page=N   only frames whose first parameter byte is N (the
//                       page number of 0xBB and 0xCC; page 0 is the count)
//             ,unit=K   spoil only unit K (counted from 0) of the reply; a
//                       record page is many units, every other reply one
//   WHEN    which of the frames the target matches, counted from 1 from the
//           moment the rule is added (--fault and --scenario rules: from the
//           start): `next` (the first), N (the Nth), N-M (the Nth to the
//           Mth), or `every`. With page=N this counts the attempts at that
//           page.
//   KIND    drop               no answer
//           wrong-address[=B]  reply byte 0 becomes B (default: inverted),
//                              check byte still right
//           bad-check          check byte (the last byte) inverted
//           wrong-echo[=B]     reply byte 2 becomes B (default: inverted),
//                              check byte still right
//           extra=N            N garbage bytes (0xEE) after the reply
//           short=N            only the first N bytes of the reply
//           delay=MS           the reply leaves MS milliseconds late
//           close              TCP: close the connection instead of
//                              answering; on the serial bus like drop
//
// Examples: ClearRecord:next:delay=3000   any:5:drop   0xBB:2-3:bad-check
//           any:2.5%:bad-check (each frame with probability 2.5 %)
//           0xBB,page=2,unit=5:1:drop (unit 5 of page 2, first attempt)
#ifndef TALLYGATE_SIM_MODEL_FAULT_RULE_H_
#define TALLYGATE_SIM_MODEL_FAULT_RULE_H_

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallygate::sim {

enum class FaultKind { kDrop, kWrongAddress, kBadCheck, kWrongEcho, kExtra, kShort, kDelay, kClose };

struct FaultTarget {
  std::bitset<256> commands;
  std::optional<uint8_t> address;
  std::optional<uint8_t> page;
  std::optional<int> unit;
};

// Matching frames first .. last, counted from 1; with `chance` (a P% rule)
// each of them is hit only with that probability.
struct Occurrence {
  uint64_t first = 1;
  uint64_t last = 1;
  std::optional<double> chance;  // 0 .. 1
};

struct FaultRule {
  FaultTarget target;
  Occurrence when;
  FaultKind kind = FaultKind::kDrop;
  std::optional<int> value;  // the number after '=', where the kind takes one
  std::string text;          // the rule as written
};

// Parses one rule. Throws std::invalid_argument with a message naming the
// faulty field.
FaultRule ParseFaultRule(std::string_view text);

std::string_view FaultKindName(FaultKind kind);

// The rule syntax in a few lines, for --help.
std::string_view FaultRuleSyntax();

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_FAULT_RULE_H_
