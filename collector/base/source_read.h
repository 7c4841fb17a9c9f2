// What one read of an HR system (a [[holders_from]]) came to: kept by the
// store as the source's last, shown by `status`, the dashboard and
// /metrics.
#ifndef TALLYGATE_COLLECTOR_BASE_SOURCE_READ_H_
#define TALLYGATE_COLLECTOR_BASE_SOURCE_READ_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/base/punch.h"

namespace tallygate::collector {

// A holder a held read would revoke.
struct HeldRevocation {
  uint32_t card = 0;
  std::string staff;
  std::string name;
  bool operator==(const HeldRevocation&) const = default;
};

struct SourceRead {
  enum class Outcome {
    kMade,     // read whole, checked, and made (or already so)
    kRefused,  // read whole, refused by its problems: nothing changed
    kFailed,   // not read whole: nothing changed
    kHeld,     // would revoke more than the source may alone: nothing changed
  };
  std::string source;
  UtcTime at{};
  Outcome outcome = Outcome::kMade;
  int64_t employees = 0;  // read, active or not
  int64_t added = 0;      // the changes made (kMade)
  int64_t changed = 0;
  int64_t revoked = 0;
  std::vector<std::string> skipped;   // employees without a card
  std::vector<std::string> problems;  // kRefused: each; kFailed: why
  std::vector<HeldRevocation> held;   // kHeld: the revocations waiting
  int64_t revoke_limit = 0;
  // The store's: when a read of the source was last made.
  std::optional<UtcTime> last_success;

  bool operator==(const SourceRead&) const = default;
};

// "made", "refused", "failed", "held".
const char* SourceOutcomeName(SourceRead::Outcome outcome);
std::optional<SourceRead::Outcome> SourceOutcomeFromName(std::string_view name);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_SOURCE_READ_H_
