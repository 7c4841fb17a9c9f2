// What a simulated terminal has held, as the collector's identity bytes: the
// truth a store is checked against.
#ifndef TALLYGATE_TESTS_COLLECTOR_HELD_RECORDS_H_
#define TALLYGATE_TESTS_COLLECTOR_HELD_RECORDS_H_

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "collector/base/punch.h"
#include "sim/client/sim_process.h"

namespace tallygate::testing {

// Every record terminal `target` ("#K", or a bus address) ever held, those
// since cleared included.
inline std::set<collector::PunchBytes> EverHeld(SimProcess& sim, const std::string& target) {
  const auto units = sim.HistoryUnits(target, std::chrono::seconds(30));
  EXPECT_TRUE(units.has_value()) << target;
  std::set<collector::PunchBytes> held;
  for (const std::string& hex : units.value_or(std::vector<std::string>{})) {
    // A record unit: the address and two bytes before the twelve kept.
    collector::PunchBytes bytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * (i + 3), 2), nullptr, 16));
    }
    held.insert(bytes);
  }
  return held;
}

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_COLLECTOR_HELD_RECORDS_H_
