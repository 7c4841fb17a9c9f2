#include "collector/base/source_read.h"

#include <array>

namespace tallygate::collector {
namespace {

constexpr std::array<const char*, 4> kNames{"made", "refused", "failed", "held"};

}  // namespace

const char* SourceOutcomeName(SourceRead::Outcome outcome) {
  return kNames[static_cast<size_t>(outcome)];
}

std::optional<SourceRead::Outcome> SourceOutcomeFromName(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (name == kNames[i]) return static_cast<SourceRead::Outcome>(i);
  }
  return std::nullopt;
}

}  // namespace tallygate::collector
