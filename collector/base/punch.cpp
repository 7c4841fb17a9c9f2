#include "collector/base/punch.h"

#include <utility>

namespace tallygate::collector {
namespace {

// The names as the collections table keeps them; they must not change.
constexpr std::pair<Outcome, const char*> kOutcomeNames[] = {
    {Outcome::kComplete, "complete"},
    {Outcome::kPartial, "partial"},
    {Outcome::kUnreachable, "unreachable"},
    {Outcome::kStoreFailed, "store-failed"},
    {Outcome::kCleared, "cleared"},
    {Outcome::kBusy, "busy"},
    {Outcome::kClaimedElsewhere, "claimed-elsewhere"},
    {Outcome::kWrongTerminal, "wrong-terminal"},
};

}  // namespace

namespace {
constexpr std::string_view kMemoryOf = " answers with the memory of ";
constexpr std::string_view kAddressChanged = " (address changed?)";
}  // namespace

std::string WrongTerminalText(const std::string& terminal, const std::string& other) {
  return terminal + std::string(kMemoryOf) + other + std::string(kAddressChanged);
}

std::optional<std::string> MemoryOfFromText(const std::string& terminal, std::string_view error) {
  const std::string start = terminal + std::string(kMemoryOf);
  if (!error.starts_with(start) || !error.ends_with(kAddressChanged)) return std::nullopt;
  error.remove_prefix(start.size());
  error.remove_suffix(kAddressChanged.size());
  return std::string(error);
}

const char* OutcomeName(Outcome outcome) {
  for (const auto& [value, name] : kOutcomeNames) {
    if (value == outcome) return name;
  }
  return "unknown";
}

std::optional<Outcome> OutcomeFromName(std::string_view name) {
  for (const auto& [value, text] : kOutcomeNames) {
    if (name == text) return value;
  }
  return std::nullopt;
}

}  // namespace tallygate::collector
