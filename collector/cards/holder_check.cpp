#include "collector/cards/holder_check.h"

#include <algorithm>
#include <set>

#include "collector/base/field_text.h"
#include "collector/base/value_text.h"

namespace tallygate::collector {
namespace {

const char* CodingName(NameCoding coding) {
  return coding == NameCoding::kGbk ? "GBK" : "Big5";
}

// Why the terminals coded `coding` cannot hold `name`; empty when they can.
std::string NameProblem(const std::string& name, NameCoding coding) {
  const Result<std::vector<uint8_t>> bytes = TerminalTextBytes(name, coding);
  if (!bytes) return "name \"" + name + "\": " + bytes.error().message();
  // The conversion writes '?' for a character the code page lacks; no
  // double-byte character of GBK or Big5 has '?' (0x3F) as either byte.
  if (std::count(bytes->begin(), bytes->end(), '?') != std::count(name.begin(), name.end(), '?')) {
    return "name \"" + name + "\" has a character that " + CodingName(coding) + " lacks";
  }
  if (bytes->size() > kCardNameBytes) {
    return "name \"" + name + "\" takes " + std::to_string(bytes->size()) + " bytes in " +
           CodingName(coding) + ", more than the terminal's " + std::to_string(kCardNameBytes);
  }
  return "";
}

}  // namespace

std::vector<std::string> HolderProblems(const Cardholder& holder,
                                        std::span<const CardTerminal> terminals) {
  std::vector<std::string> problems;
  for (HolderProblem& problem : HolderFieldProblems(holder, terminals)) {
    problems.push_back(std::move(problem.what));
  }
  return problems;
}

std::vector<HolderProblem> HolderFieldProblems(const Cardholder& holder,
                                               std::span<const CardTerminal> terminals) {
  std::vector<HolderProblem> problems;
  const auto control = [&](const char* field, const char* what, const std::string& text) {
    const std::string code = ControlCharacterIn(text);
    if (!code.empty()) {
      problems.push_back({field, std::string(what) + " \"" + ControlsWritten(text) +
                                     "\" has a control character (" + code + ")"});
    }
    return !code.empty();
  };
  const bool staff_control = control("staff", "staff number", holder.staff);
  const bool name_control = control("name", "name", holder.name);
  if (holder.staff.empty()) {
    problems.push_back({"staff", "no staff number"});
  } else if (!staff_control && !StaffNumberBytes(holder.staff)) {
    problems.push_back({"staff", "staff number \"" + holder.staff + "\" is not up to 8 decimal digits"});
  }
  if (holder.where.empty()) problems.push_back({"terminals", "no terminals: name terminals or groups, or *"});
  std::set<NameCoding> codings;
  for (const std::string& name : holder.where) {
    const bool known = name == kEveryTerminal ||
                       std::any_of(terminals.begin(), terminals.end(),
                                   [&](const CardTerminal& t) { return Takes({name}, t); });
    if (!known) problems.push_back({"terminals", "unknown terminal or group '" + name + "'"});
  }
  for (const CardTerminal& terminal : terminals) {
    if (Takes(holder.where, terminal)) codings.insert(terminal.names);
  }
  for (NameCoding coding : codings) {
    if (name_control) break;
    if (std::string problem = NameProblem(holder.name, coding); !problem.empty()) {
      problems.push_back({"name", std::move(problem)});
    }
  }
  if (holder.valid_from && holder.valid_until && *holder.valid_until < *holder.valid_from) {
    problems.push_back({"valid_until", "valid_until " + DayText(*holder.valid_until) +
                                           " is before valid_from " + DayText(*holder.valid_from)});
  }
  return problems;
}

}  // namespace tallygate::collector
