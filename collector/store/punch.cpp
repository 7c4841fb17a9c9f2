#include "collector/store/punch.h"

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
};

}  // namespace

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
