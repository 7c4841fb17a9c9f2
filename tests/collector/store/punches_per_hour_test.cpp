// Store::PunchesPerHour on both stores: each punch counted in its own hour
// and day of the terminal's clock across midnight, within the range asked
// for, of the terminal asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/store/store.h"
#include "collector/base/time_text.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

class PunchesPerHourTest : public StoreTest {};
INSTANTIATE_TEST_SUITE_P(Stores, PunchesPerHourTest, StoreKinds(), StoreKindName);

TEST_P(PunchesPerHourTest, CountsLandInTheirHourAcrossMidnight) {
  std::vector<Punch> gate1 = {MakePunch(0, 1, At(2024, 3, 1, 23, 0)),
                              MakePunch(1, 2, At(2024, 3, 1, 23, 59)),
                              MakePunch(2, 1, At(2024, 3, 2, 0, 0)),
                              MakePunch(3, 3, At(2024, 3, 2, 0, 30)),
                              MakePunch(4, 1, At(2024, 3, 2, 0, 59)),
                              MakePunch(5, 1, At(2024, 3, 2, 8, 1)),
                              MakePunch(6, 1, At(2024, 2, 29, 23, 59)),
                              MakePunch(7, 1, At(2024, 3, 3, 0, 0)),
                              MakePunch(8, 1, std::nullopt)};
  store_->StorePage("gate-1", collection_, gate1, MarkAfter(gate1.back()));
  std::vector<Punch> gate2 = {MakePunch(0, 1, At(2024, 3, 2, 0, 10))};
  store_->StorePage("gate-2", store_->BeginCollection(CollectionOf("gate-2")), gate2,
                    MarkAfter(gate2.back()));

  const struct {
    std::string terminal;
    std::vector<std::string> counts;
  } cases[] = {
      {"", {"2024-03-01 23:00:00 2", "2024-03-02 00:00:00 4", "2024-03-02 08:00:00 1"}},
      {"gate-1", {"2024-03-01 23:00:00 2", "2024-03-02 00:00:00 3", "2024-03-02 08:00:00 1"}},
      {"gate-2", {"2024-03-02 00:00:00 1"}},
      {"gate-9", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> counts;
    for (const HourCount& hour :
         store_->PunchesPerHour(c.terminal, At(2024, 3, 1, 0), At(2024, 3, 3, 0))) {
      counts.push_back(LocalTimeText(hour.hour) + " " + std::to_string(hour.punches));
    }
    EXPECT_EQ(counts, c.counts) << "terminal \"" << c.terminal << "\"";
  }
}

}  // namespace
}  // namespace tallygate::collector
