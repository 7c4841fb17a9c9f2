#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tallygate/host_services.h"
#include "tests/support/host_capture.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::AnswerFrames;
using testing::HostCapture;

constexpr double kDay = 39352;  // 2007-09-27

// A date value: `day` plus a time of day.
double At(double day, int hour, int minute, double second = 0) {
  return day + (hour * 3600 + minute * 60 + second) / 86400.0;
}

// A ring-schedule frame: code, then the given times, the rest 0x00 0x00.
Bytes Schedule(uint8_t code, const Bytes& times) {
  Bytes frame = {0x17, code};
  frame.insert(frame.end(), times.begin(), times.end());
  frame.resize(22, 0);
  return frame;
}

Bytes Terminal(uint8_t address, const Bytes& frame) { return MakeReply(address, frame[1], {}, 4); }

// Twelve ring times, i:2i for i = 1 to 12, as values and as digits.
std::vector<double> TwelveTimes() {
  std::vector<double> times;
  for (int i = 1; i <= 12; ++i) times.push_back(At(kDay, i, 2 * i));
  return times;
}
std::string TwelveTimesText() {
  std::string text;
  for (int i = 1; i <= 12; ++i) {
    char group[8];
    std::snprintf(group, sizeof group, "%02d%02d", i, 2 * i);
    text += group;
  }
  return text;
}
const Bytes kFirstTen = {0x01, 0x02, 0x02, 0x04, 0x03, 0x06, 0x04, 0x08, 0x05, 0x10,
                         0x06, 0x12, 0x07, 0x14, 0x08, 0x16, 0x09, 0x18, 0x10, 0x20};

// Frames after the address byte 0x01, without their check byte.
const testing::FrameCase kFrames[] = {
    {"clock",
     [](Connect_v70& o) { return o.ModifyDateTime(1, "070927", "093628", 4); },
     {0x0A, 0x08, 0x07, 0x09, 0x27, 0x09, 0x36, 0x28, 0x04}},
    {"clock, seconds from a lone digit, weekday 10 as BCD",
     [](Connect_v70& o) { return o.ModifyDateTime(1, "0709271", "09368", 10); },
     {0x0A, 0x08, 0x07, 0x09, 0x27, 0x09, 0x36, 0x08, 0x10}},
    {"clock, pairs read as hexadecimal",
     [](Connect_v70& o) { return o.ModifyDateTime(1, "07a9Ff", "000000", 99); },
     {0x0A, 0x08, 0x07, 0xA9, 0xFF, 0x00, 0x00, 0x00, 0x99}},
    {"schedule 2, three times",
     [](Connect_v70& o) {
       std::vector<double> times = {At(kDay, 8, 30), At(kDay, 12, 0), At(kDay, 23, 59)};
       return o.SetClock(1, times, "2");
     },
     Schedule(0x1E, {0x08, 0x30, 0x12, 0x00, 0x23, 0x59})},
    {"schedule 1, twelve times",
     [](Connect_v70& o) {
       std::vector<double> times = TwelveTimes();
       return o.SetClock(1, times, "1");
     },
     Schedule(0x0E, kFirstTen)},
    {"schedule 3, no times",
     [](Connect_v70& o) {
       std::vector<double> times;
       return o.SetClock(1, times, "3");
     },
     Schedule(0x2E, {})},
    {"schedule, times of day rounded to the second",
     [](Connect_v70& o) {
       std::vector<double> times = {At(kDay, 8, 29, 59.7), At(kDay, 8, 29, 59.4), At(0, 7, 15),
                                    -1.25, At(kDay, 23, 59, 59.6)};
       return o.SetClock(1, times, "2");
     },
     Schedule(0x1E, {0x08, 0x30, 0x08, 0x29, 0x07, 0x15, 0x06, 0x00, 0x00, 0x00})},
    {"schedule text", [](Connect_v70& o) { return o.SetClockStr(1, "08301200", "2"); },
     Schedule(0x1E, {0x08, 0x30, 0x12, 0x00})},
    {"schedule text of twelve times",
     [](Connect_v70& o) { return o.SetClockStr(1, TwelveTimesText(), "1"); },
     Schedule(0x0E, kFirstTen)},
    {"schedule text, empty", [](Connect_v70& o) { return o.SetClockStr(1, "", "3"); },
     Schedule(0x2E, {})},
    {"schedule text, short last group and unchecked values",
     [](Connect_v70& o) { return o.SetClockStr(1, "999908301", "3"); },
     Schedule(0x2E, {0x99, 0x99, 0x08, 0x30, 0x01, 0x00})},
};

class ClockScheduleTest : public testing::ObjectTest {};

TEST_F(ClockScheduleTest, FramesOnTheSerialBus) {
  HostCapture host;
  ExpectFramesOnTheSerialBus(kFrames, Terminal, testing::CheckByte::kAdd);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ClockScheduleTest, FramesOverTcp) {
  ExpectFramesOverTcp(kFrames, Terminal, testing::CheckByte::kAdd);
}

TEST_F(ClockScheduleTest, BadClockValuesShowTheBoxAndSendNothing) {
  const struct {
    const char* date;
    const char* time;
    uint8_t week;
    int16_t address;
    const char* text;
  } kCases[] = {
      {"070927", "0936", 4, 1, "13:Type mismatch"},  // no seconds pair
      {"0G0927", "093628", 4, 1, "13:Type mismatch"},
      {"", "093628", 4, 1, "13:Type mismatch"},
      {"070927", "09 628", 4, 1, "13:Type mismatch"},
      {"07092张", "093628", 4, 1, "13:Type mismatch"},
      {"070927", "093628", 100, 1, "6:Overflow"},  // three digits do not fit a byte
      {"070927", "093628", 4, 256, "6:Overflow"},
  };
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  for (const auto& c : kCases) {
    HostCapture host;
    EXPECT_FALSE(object_->ModifyDateTime(c.address, c.date, c.time, c.week)) << c.text;
    ASSERT_EQ(host.messages.size(), 1u) << c.date << " " << c.time;
    EXPECT_EQ(host.messages[0].title, "ModifyDateTime");
    EXPECT_EQ(host.messages[0].text, c.text) << c.date << " " << c.time;
    EXPECT_EQ(host.messages[0].style, TG_MB_OK);
  }
  EXPECT_TRUE(link_.port().writes.empty());
}

// Only a failure inside the command has a box; a terminal that does not
// answer properly is an ordinary false.
TEST_F(ClockScheduleTest, ClockRepliesNeedOnlyBeValid) {
  bool corrupt = false;
  UseSerial();
  AnswerFrames(link_.port(), [&](uint8_t address, const Bytes&) {
    Bytes reply = MakeReply(address, 0x66, {}, 4);  // not the command's echo
    if (corrupt) reply.back() ^= 0x01;
    return reply;
  });
  HostCapture host;
  EXPECT_TRUE(object_->ModifyDateTime(1, "070927", "093628", 4));
  corrupt = true;
  EXPECT_FALSE(object_->ModifyDateTime(1, "070927", "093628", 4));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ClockScheduleTest, BadSchedulesSendNothing) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* text;  // SetClockStr's text; nullptr calls SetClock with `times`
    std::vector<double> times;
    const char* sect;
    int16_t address;
  } kCases[] = {
      {nullptr, {At(kDay, 8, 0)}, "4", 1},
      {nullptr, {}, "0", 1},
      {nullptr, {}, "x", 1},
      {nullptr, {}, "", 1},
      {nullptr, {At(kDay, 8, 0), kNaN}, "1", 1},  // not a date
      {nullptr, {1e10}, "1", 1},                  // beyond the calendar
      {nullptr, {}, "1", 256},
      {"08:30", {}, "1", 1},
      {"0830 ", {}, "1", 1},
      {"-830", {}, "1", 1},
      {"０８３０", {}, "1", 1},
      {"0830", {}, "4", 1},
      {"0830", {}, "x", 1},
      {"0830", {}, "1", -1},
  };
  UseSerial();
  AnswerFrames(link_.port(), Terminal);
  HostCapture host;
  for (const auto& c : kCases) {
    std::vector<double> times = c.times;
    EXPECT_FALSE(c.text ? object_->SetClockStr(c.address, c.text, c.sect)
                        : object_->SetClock(c.address, times, c.sect))
        << (c.text ? c.text : "times") << " section " << c.sect;
  }
  EXPECT_TRUE(link_.port().writes.empty());
  EXPECT_TRUE(host.messages.empty()) << "only ModifyDateTime has a box";
}

TEST_F(ClockScheduleTest, ScheduleReplyNamingAnotherSectionFails) {
  uint8_t echo = 0;
  UseSerial();
  AnswerFrames(link_.port(),
               [&](uint8_t address, const Bytes&) { return MakeReply(address, echo, {}, 4); });
  std::vector<double> times = {At(kDay, 8, 30)};
  echo = 0x0E;
  EXPECT_FALSE(object_->SetClock(1, times, "2"));
  EXPECT_FALSE(object_->SetClockStr(1, "0830", "3"));
  EXPECT_TRUE(object_->SetClockStr(1, "0830", "1"));
  echo = 0x1E;
  EXPECT_TRUE(object_->SetClock(1, times, "2"));
  EXPECT_EQ(link_.port().writes.size(), 8u);
}

// Schedules wait up to 9 seconds, the clock only 2.
TEST_F(ClockScheduleTest, SchedulesWaitLongerThanTheClock) {
  UseSerial();
  AnswerFrames(link_.port(), Terminal, std::chrono::seconds(4));
  HostCapture host;
  EXPECT_TRUE(object_->SetClockStr(1, "0830", "1"));
  EXPECT_FALSE(object_->ModifyDateTime(1, "070927", "093628", 4));
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace tallygate
