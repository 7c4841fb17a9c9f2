// Clock, ring schedules and system parameters through the library against
// the simulated terminal, checked in what the terminal shows, over TCP and
// over the serial bus.
#include <string>
#include <vector>

#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

class ClockAndParameters : public SimLinkTest {};

// A date value: days since 1899-12-30, the time of day as the fraction.
double DateValue(int hour, int minute) { return 45000.0 + (hour * 60 + minute) / 1440.0; }

constexpr const char* kUnset = "00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00";

TEST_P(ClockAndParameters, ModifyDateTimeSetsTheClock) {
  ASSERT_STARTED(Start());
  EXPECT_TRUE(StatusShows("clock -"));
  EXPECT_TRUE(object().ModifyDateTime(1, "070927", "093628", 4));
  EXPECT_TRUE(StatusShows("clock 07-09-27 09:36:28 weekday 04"));
  EXPECT_TRUE(object().ModifyDateTime(1, "261231", "235959", 7));
  EXPECT_TRUE(StatusShows("clock 26-12-31 23:59:59 weekday 07"));
}

TEST_P(ClockAndParameters, RingSchedules) {
  ASSERT_STARTED(Start());
  std::vector<double> times{DateValue(8, 30), DateValue(12, 0), DateValue(23, 59)};
  EXPECT_TRUE(object().SetClock(1, times, "2"));
  EXPECT_TRUE(StatusShows(
      "ring-schedule 2 08:30 12:00 23:59 00:00 00:00 00:00 00:00 00:00 00:00 00:00"));
  EXPECT_TRUE(StatusShows(std::string("ring-schedule 1 ") + kUnset));

  std::vector<double> twelve;
  for (int i = 0; i < 12; ++i) twelve.push_back(DateValue(7 + i, 5 * i));
  EXPECT_TRUE(object().SetClock(1, twelve, "1"));
  EXPECT_TRUE(StatusShows(
      "ring-schedule 1 07:00 08:05 09:10 10:15 11:20 12:25 13:30 14:35 15:40 16:45"));

  EXPECT_TRUE(object().SetClockStr(1, "08301200", "3"));
  EXPECT_TRUE(StatusShows(
      "ring-schedule 3 08:30 12:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00"));
  EXPECT_FALSE(object().SetClockStr(1, "08:30", "3")) << "a colon is refused before sending";
  EXPECT_FALSE(object().SetClock(1, times, "4"));
  EXPECT_TRUE(StatusShows(
      "ring-schedule 3 08:30 12:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00 00:00"));
  EXPECT_TRUE(StatusShows(
      "ring-schedule 2 08:30 12:00 23:59 00:00 00:00 00:00 00:00 00:00 00:00 00:00"));
}

TEST_P(ClockAndParameters, ScheduleEchoOfAnotherSectionFails) {
  ASSERT_STARTED(Start());
  EXPECT_EQ(sim().Control("fault SetClock:next:wrong-echo=0x2E"), "ok fault SetClock:next:wrong-echo=0x2E");
  EXPECT_FALSE(object().SetClockStr(1, "0830", "1"));
  EXPECT_TRUE(object().SetClockStr(1, "0830", "1"));
}

TEST_P(ClockAndParameters, ReadSystemParameterShowsWhatWasWritten) {
  ASSERT_STARTED(Start());
  std::string back = "unchanged";
  ASSERT_TRUE(object().ReadSystemParameter(1, back));
  EXPECT_EQ(back, "010019" "00000000000000000000000000" "18");

  EXPECT_TRUE(object().RepairSystemParameter(1, "0500", "05A0", "C000"));
  EXPECT_TRUE(StatusShows("parameters 050005A0C00000000000000000"));
  ASSERT_TRUE(object().ReadSystemParameter(1, back));
  EXPECT_EQ(back, "010019" "050005A0C00000000000000000" "78");

  // The relay delay is decimal, the others hexadecimal.
  EXPECT_TRUE(object().RepairSystemParameter(1, "1200", "1200", "4000"));
  ASSERT_TRUE(object().ReadSystemParameter(1, back));
  EXPECT_EQ(back.substr(6, 12), "0C0012004000");
  EXPECT_FALSE(object().RepairSystemParameter(1, "0500", "05", "C000")) << "sent a short DKYS";
  ASSERT_TRUE(object().ReadSystemParameter(1, back));
  EXPECT_EQ(back.substr(6, 12), "0C0012004000");
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(ClockAndParameters);

}  // namespace
}  // namespace tallygate::testing
