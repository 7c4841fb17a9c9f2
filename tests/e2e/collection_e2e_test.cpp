// Record and card-list collection through the library against the simulated
// terminal: complete collections checked line by line against what the
// terminal holds, retried and lost units and pages, a connection lost in the
// middle, and the check of a collected file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "sim/model/gb_text.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_view.h"
#include "tallygate/progress_object.h"
#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

using Clock = std::chrono::steady_clock;
using sim::HexDigits;

constexpr const char* kPartLost = "Net Err,Part data lose";
constexpr int32_t kSleepDate = 1;  // seconds per unit; only missing units cost it

std::string HexNoPadding(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%X", byte);
  return text;
}

// The line the library writes for `record` of terminal 1, default options.
std::string RecordLine(const sim::AttendanceRecord& record) {
  return "001" + HexDigits(record.card) + HexDigits(record.time) + HexNoPadding(record.flag) +
         HexNoPadding(record.keep);
}

std::vector<std::string> RecordLines(size_t count) {
  std::vector<std::string> lines;
  for (const sim::AttendanceRecord& record : sim::SyntheticRecords(count, 1)) {
    lines.push_back(RecordLine(record));
  }
  return lines;
}

// A name as the card-list line holds it: each two-byte code in turn, a code
// with a zero high byte as the single character of its low byte.
std::string NameField(const std::array<uint8_t, 8>& name) {
  std::string text;
  for (size_t i = 0; i < name.size(); i += 2) {
    const uint8_t high = name[i], low = name[i + 1];
    if (high == 0) {
      text += static_cast<char>(low);
    } else if (low == 0) {
      text += sim::GbToUtf8(std::array{high});
      text += '\0';
    } else {
      text += sim::GbToUtf8(std::array{high, low});
    }
  }
  return text;
}

std::string CardLine(const sim::CardEntry& entry) {
  return HexDigits(entry.card) + HexDigits(entry.staff) + NameField(entry.name);
}

class RecordingProgress : public ProgressObject {
 public:
  void PutProperty(const std::string& name, int32_t value) override { last[name] = value; }
  std::map<std::string, int32_t> last;
};

class Collection : public SimLinkTest {
 protected:
  struct Outcome {
    bool result = false;
    std::string description;
    int32_t written = -1;
    std::vector<std::string> lines;  // empty when no file was written
  };

  Outcome GatherData(int32_t sleep_date = kSleepDate, ProgressObject* progress = nullptr) {
    Outcome out;
    out.description = "untouched";
    out.result = object().GatherData(1, data_.path().string(), "records.txt", out.description,
                                     out.written, sleep_date, 0, false, progress);
    if (std::filesystem::exists(data_ / "records.txt")) out.lines = CrLfLines(data_ / "records.txt");
    return out;
  }

  Outcome GatherSendCardData() {
    Outcome out;
    out.description = "untouched";
    out.result = object().GatherSendCardData(1, data_.path().string(), "names.txt", out.description,
                                             out.written, kSleepDate, 0);
    if (std::filesystem::exists(data_ / "names.txt")) out.lines = CrLfLines(data_ / "names.txt");
    return out;
  }
};

TEST_P(Collection, RecordsLineByLine) {
  for (const size_t count : {size_t{300}, size_t{513}}) {
    SCOPED_TRACE(std::to_string(count) + " records");
    TearDown();
    ASSERT_STARTED(Start({"--records", std::to_string(count)}));
    RecordingProgress progress;
    const Outcome out = GatherData(kSleepDate, &progress);
    EXPECT_TRUE(out.result);
    EXPECT_EQ(out.description, "");
    EXPECT_EQ(out.written, static_cast<int32_t>(count));
    EXPECT_EQ(out.lines, RecordLines(count));
    EXPECT_EQ(progress.last["Max"], static_cast<int32_t>(count) + 1);
    EXPECT_EQ(progress.last["Value"], static_cast<int32_t>(count) - 1);
  }
}

// At 19200 bit/s a page's units trickle in: 300 records are 4800 bytes,
// about 2.75 s on the wire.
TEST_P(Collection, RecordsAtWireSpeed) {
  ASSERT_STARTED(Start({"--records", "300", "--wire-speed"}));
  const auto start = Clock::now();
  const Outcome out = GatherData();
  EXPECT_GE(Clock::now() - start, 2500ms);
  EXPECT_EQ(out.description, "");
  EXPECT_EQ(out.lines, RecordLines(300));
}

TEST_P(Collection, NoRecordsWritesNoFile) {
  ASSERT_STARTED(Start());
  WriteFile(data_ / "records.txt", "kept\r\n");
  const Outcome out = GatherData();
  EXPECT_TRUE(out.result);
  EXPECT_EQ(out.description, "");
  EXPECT_EQ(out.written, 0);
  EXPECT_EQ(out.lines, std::vector<std::string>{"kept"});
}

TEST_P(Collection, CardListWithChineseNames) {
  ASSERT_STARTED(Start());
  struct Card {
    std::string number, staff, name;
  };
  const std::vector<Card> cards{{"300", "123", "张三"}, {"1234567", "00000456", "李四"},
                                {"-1", "99999999", "王小明"}, {"42", "7", "Tom"}};
  for (const Card& card : cards) {
    EXPECT_TRUE(object().CardSendToMachine(1, card.number, card.staff, card.name, 0, "")) << card.name;
  }
  const Outcome out = GatherSendCardData();
  EXPECT_TRUE(out.result);
  EXPECT_EQ(out.description, "");
  EXPECT_EQ(out.written, 4);
  const std::string nul(1, '\0');
  EXPECT_EQ(out.lines, (std::vector<std::string>{"0000012C00000123张三" + nul + nul,
                                                 "0012D68700000456李四" + nul + nul,
                                                 "FFFFFFFF99999999王小明" + nul,
                                                 "0000002A00000007Tom" + nul + nul + nul}));
  EXPECT_TRUE(StatusShows("card 0000012C staff 00000123 name D5C5C8FD00000000 \"张三\""));
}

TEST_P(Collection, SeededCardListOfThreePages) {
  ASSERT_STARTED(Start({"--cards", "513"}));
  const Outcome out = GatherSendCardData();
  EXPECT_TRUE(out.result);
  EXPECT_EQ(out.description, "");
  EXPECT_EQ(out.written, 513);
  const std::vector<sim::CardEntry> cards = sim::SyntheticCards(513, 1);
  ASSERT_EQ(out.lines.size(), cards.size());
  for (size_t i = 0; i < cards.size(); ++i) ASSERT_EQ(out.lines[i], CardLine(cards[i])) << "line " << i;
}

// Unit faults, and what the collected file holds afterwards.
struct UnitFaultCase {
  std::string name;
  size_t records;
  std::vector<std::string> faults;
  std::string description;
  std::vector<size_t> missing;  // terminal positions that are not in the file
  size_t lines;                 // lines in the file
  std::vector<size_t> empty;    // file lines left empty
};

std::vector<UnitFaultCase> UnitFaultCases() {
  return {
      // Retried at once, and the second attempt is complete.
      {"DroppedInTheFirstAttempt", 300, {"0xBB,page=1,unit=5:1:drop"}, "", {}, 300, {}},
      {"CorruptInTheFirstTwoAttempts", 300, {"0xBB,page=2,unit=7:1-2:bad-check"}, "", {}, 300, {}},
      // A corrupt unit keeps its place, empty, in every attempt.
      {"CorruptInEveryAttempt", 300, {"0xBB,page=2,unit=10:every:bad-check"}, kPartLost, {}, 300, {266}},
      // A dropped unit moves the later ones up; units carry no position,
      // so the file lacks one record at its end.
      {"DroppedInEveryAttempt", 300, {"0xBB,page=2,unit=43:every:drop"}, kPartLost, {299}, 299, {}},
      // Three lost pages end the collection; page 4 is never asked for.
      {"ThreeLostPages",
       1000,
       {"0xBB,page=1,unit=0:every:bad-check", "0xBB,page=2,unit=0:every:bad-check",
        "0xBB,page=3,unit=0:every:bad-check"},
       kPartLost,
       {},
       768,
       {0, 256, 512}},
  };
}

class UnitFaults : public Collection {};

TEST_P(UnitFaults, RetryLossAndFailure) {
  for (const UnitFaultCase& c : UnitFaultCases()) {
    SCOPED_TRACE(c.name);
    TearDown();
    std::vector<std::string> args{"--records", std::to_string(c.records)};
    for (const std::string& fault : c.faults) {
      args.push_back("--fault");
      args.push_back(fault);
    }
    ASSERT_STARTED(Start(args));
    const Outcome out = GatherData();
    EXPECT_TRUE(out.result);
    EXPECT_EQ(out.description, c.description);
    EXPECT_EQ(out.written, static_cast<int32_t>(c.lines));

    std::vector<std::string> expected;
    const std::vector<std::string> all = RecordLines(c.records);
    for (size_t i = 0; i < all.size(); ++i) {
      if (std::find(c.missing.begin(), c.missing.end(), i) == c.missing.end()) expected.push_back(all[i]);
    }
    expected.resize(c.lines);
    for (size_t i : c.empty) expected.at(i).clear();
    EXPECT_EQ(out.lines, expected);
  }
}

TEST_P(UnitFaults, PagesAfterThreeLostOnesAreNotRequested) {
  ASSERT_STARTED(Start({"--records", "1000", "--fault", "0xBB,page=1,unit=0:every:bad-check",
                        "--fault", "0xBB,page=2,unit=0:every:bad-check", "--fault",
                        "0xBB,page=3,unit=0:every:bad-check", "--fault", "0xBB,page=4:every:drop"}));
  const Outcome out = GatherData();
  EXPECT_EQ(out.description, kPartLost);
  EXPECT_EQ(sim().Control("faults"),
            "ok faults count=4; 0xBB,page=1,unit=0:every:bad-check (seen 5); "
            "0xBB,page=2,unit=0:every:bad-check (seen 5); 0xBB,page=3,unit=0:every:bad-check (seen 5); "
            "0xBB,page=4:every:drop (seen 0)");
}

// The library's sound choice: a page whose last attempt came complete is not
// lost, so two faulty attempts of the card list's three still collect it.
TEST_P(UnitFaults, CardPageCompleteInItsLastAttempt) {
  ASSERT_STARTED(Start({"--cards", "40", "--fault", "0xCC,page=1,unit=3:1-2:bad-check"}));
  const Outcome out = GatherSendCardData();
  EXPECT_TRUE(out.result);
  EXPECT_EQ(out.description, "");
  EXPECT_EQ(out.written, 40);
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(Collection);
INSTANTIATE_FOR_BOTH_TRANSPORTS(UnitFaults);

// Over TCP a connection closed by the terminal makes every later request and
// unit fail at once: no unit waits are spent, what came is written.
class ConnectionLost : public Collection {};

TEST_P(ConnectionLost, InTheMiddleOfACollection) {
  ASSERT_STARTED(Start({"--records", "1000", "--fault", "0xBB,page=2,unit=100:1:close"}));
  const auto start = Clock::now();
  const Outcome out = GatherData(/*sleep_date=*/3);
  const auto took = Clock::now() - start;
  EXPECT_TRUE(out.result);
  EXPECT_EQ(out.description, kPartLost);
  EXPECT_EQ(out.written, 356);
  std::vector<std::string> expected = RecordLines(1000);
  expected.resize(356);
  EXPECT_EQ(out.lines, expected);
  // Waiting for the missing units would take at least 2 x 3 s per attempt.
  EXPECT_LT(took, 6s) << "the lost connection was waited for";
  EXPECT_TRUE(sim().WaitForLine(std::regex("^tcp client closed by a fault$")));
  EXPECT_NE(object().tcpState(), 7);
}

INSTANTIATE_TEST_SUITE_P(Transports, ConnectionLost, ::testing::Values(Transport::kTcp),
                         [](const auto& test) { return TransportName(test.param); });

// CheckData on what GatherData wrote: complete and recent passes; after
// ClearRecord the terminal has nothing to check against.
class CollectedCheck : public Collection {};

std::string BcdNow(std::chrono::system_clock::duration ago) {
  const auto when = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now() - ago);
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{when - day};
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02u%02u%02d%02d%02d", static_cast<int>(date.year()) % 100,
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

TEST_P(CollectedCheck, PassesThenFindsTheTerminalEmpty) {
  ASSERT_STARTED(Start());
  using namespace std::chrono;
  EXPECT_TRUE(object().SendRecordToMachine(1, "0012D687", BcdNow(3h), "01", "99"));
  EXPECT_TRUE(object().SendRecordToMachine(1, "0000012C", BcdNow(2h), "02", "99"));
  EXPECT_TRUE(object().SendRecordToMachine(1, "0000012C", BcdNow(1h)));
  const Outcome out = GatherData();
  ASSERT_EQ(out.lines.size(), 3u);
  EXPECT_EQ(out.lines[0], "0010012D687" + BcdNow(3h).substr(0, 6) + out.lines[0].substr(17, 6) + "199");

  std::string description = "before";
  EXPECT_EQ(object().CheckData(1, data_.path().string(), "records.txt", description, 24), 0)
      << description;
  EXPECT_EQ(description, "before");

  EXPECT_TRUE(object().ClearRecord(1));
  EXPECT_EQ(object().CheckData(1, data_.path().string(), "records.txt", description, 24), 1);
  EXPECT_EQ(description, "采集出的总条数是0 ");
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(CollectedCheck);

}  // namespace
}  // namespace tallygate::testing
