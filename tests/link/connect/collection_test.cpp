#include <gtest/gtest.h>

#include <map>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using namespace std::string_literals;
using testing::AnswerFrames;
using testing::ReadFile;
using testing::ReadLines;

enum class Fate { Send, Drop, Corrupt };

// A terminal that answers count queries and streams pages of record (0xBB)
// and card (0xCC) units, with a chosen fate for each unit of each attempt.
struct PagingTerminal {
  std::vector<Bytes> records;  // 16-byte units, address byte and check filled on sending
  std::vector<Bytes> cards;    // 20-byte units
  std::function<Fate(uint8_t command, int page, int attempt, int index)> fate;
  std::map<std::pair<int, int>, int> requests;  // (command, page) -> times requested
  bool wrong_count_echo = false;

  Bytes Answer(uint8_t address, const Bytes& frame) {
    const uint8_t command = frame[1];
    const int page = frame[2];
    const std::vector<Bytes>& units = command == 0xBB ? records : cards;
    if (page == 0) {
      const auto n = static_cast<int>(units.size());
      const uint8_t data[2] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n & 0xFF)};
      return MakeReply(address, wrong_count_echo ? 0x00 : command, data, 6);
    }
    const int attempt = ++requests[{command, page}];
    Bytes stream;
    for (size_t i = (page - 1) * 256u; i < units.size() && i < page * 256u; ++i) {
      const int index = static_cast<int>(i % 256);
      const Fate f = fate ? fate(command, page, attempt, index) : Fate::Send;
      if (f == Fate::Drop) continue;
      Bytes unit = units[i];
      unit[0] = address;
      unit.back() = XorOf(std::span<const uint8_t>(unit).first(unit.size() - 1));
      if (f == Fate::Corrupt) unit.back() ^= 0xFF;
      stream.insert(stream.end(), unit.begin(), unit.end());
    }
    return stream;
  }
};

uint8_t Bcd(int value) { return static_cast<uint8_t>((value / 10) * 16 + value % 10); }

Bytes RecordUnit(int i) {
  Bytes unit(16, 0);
  unit[3] = 0x00;
  unit[4] = static_cast<uint8_t>(i >> 16);
  unit[5] = static_cast<uint8_t>(i >> 8);
  unit[6] = static_cast<uint8_t>(i);
  const uint8_t when[6] = {0x26, 0x03, Bcd(1 + i / 1440 % 28), Bcd(i / 60 % 24), Bcd(i % 60), 0x05};
  std::copy(when, when + 6, unit.begin() + 7);
  unit[13] = 0x01;
  unit[14] = 0x99;
  return unit;
}

Bytes CardUnit(int i, std::array<uint8_t, 8> name) {
  Bytes unit(20, 0);
  unit[5] = static_cast<uint8_t>(i >> 8);
  unit[6] = static_cast<uint8_t>(i);
  unit[9] = 0x01;
  unit[10] = 0x23;
  std::copy(name.begin(), name.end(), unit.begin() + 11);
  return unit;
}

struct RecordingProgress : ProgressObject {
  std::vector<std::pair<std::string, int32_t>> puts;
  std::string refuse;  // a property whose put fails
  void PutProperty(const std::string& name, int32_t value) override {
    if (name == refuse) throw BasicError(err::kNotAnObjectProperty);
    puts.emplace_back(name, value);
  }
};

class CollectionTest : public testing::ObjectTest {
 protected:
  void SetUp() override {
    UseSerial();
    AnswerFrames(link_.port(), [this](uint8_t address, const Bytes& frame) {
      return terminal_.Answer(address, frame);
    });
  }
  void Records(int n) {
    for (int i = 0; i < n; ++i) terminal_.records.push_back(RecordUnit(i));
  }
  bool Gather(int32_t sleep = 1, int32_t decimal = 0, bool full_year = false,
              ProgressObject* progress = nullptr) {
    return object_->GatherData(1, home_.path().string(), "records.txt", description_, sum_, sleep,
                               decimal, full_year, progress);
  }
  std::vector<std::string> Lines() { return ReadLines(home_ / "records.txt"); }

  PagingTerminal terminal_;
  std::string description_ = "before";
  int32_t sum_ = -7;
};

TEST_F(CollectionTest, EveryRecordIntoTheFile) {
  Records(300);
  RecordingProgress progress;
  ASSERT_TRUE(Gather(1, 0, false, &progress));
  EXPECT_EQ(description_, "");
  EXPECT_EQ(sum_, 300);
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 300u);
  EXPECT_EQ(lines[0], "00100000000260301000005199");
  EXPECT_EQ(lines[299], "0010000012B260301045905199");
  EXPECT_EQ(ReadFile(home_ / "records.txt").size(), 300u * 28) << "CR LF after every line";
  EXPECT_EQ((terminal_.requests[{0xBB, 1}]), 1);
  EXPECT_EQ((terminal_.requests[{0xBB, 2}]), 1);
  ASSERT_GE(progress.puts.size(), 4u);
  EXPECT_EQ(progress.puts[0], std::make_pair("Max"s, 301));
  EXPECT_EQ(progress.puts[1], std::make_pair("Min"s, 0));
  EXPECT_EQ(progress.puts[2], std::make_pair("Value"s, 0));
  EXPECT_EQ(progress.puts.back(), std::make_pair("Value"s, 299));
}

TEST_F(CollectionTest, PageBoundaries) {
  for (int n : {256, 257}) {
    terminal_ = PagingTerminal{};
    Records(n);
    ASSERT_TRUE(Gather()) << n;
    EXPECT_EQ(sum_, n);
    EXPECT_EQ(Lines().size(), static_cast<size_t>(n));
    EXPECT_EQ((terminal_.requests[{0xBB, 2}]), n > 256 ? 1 : 0);
  }
}

TEST_F(CollectionTest, EmptyTerminalLeavesAnExistingFileAlone) {
  testing::WriteFile(home_ / "records.txt", "old\r\n");
  ASSERT_TRUE(Gather());
  EXPECT_EQ(sum_, 0);
  EXPECT_EQ(description_, "");
  EXPECT_EQ(ReadFile(home_ / "records.txt"), "old\r\n");
}

TEST_F(CollectionTest, PageIsRetriedAfterAMissedUnit) {
  Records(300);
  terminal_.fate = [](uint8_t, int page, int attempt, int index) {
    return page == 1 && attempt == 1 && index == 17 ? Fate::Corrupt : Fate::Send;
  };
  ASSERT_TRUE(Gather());
  EXPECT_EQ(description_, "");
  EXPECT_EQ(Lines().size(), 300u);
  EXPECT_EQ((terminal_.requests[{0xBB, 1}]), 2);
}

TEST_F(CollectionTest, TwoMissesEndTheAttempt) {
  Records(10);
  terminal_.fate = [](uint8_t, int, int attempt, int index) {
    return attempt == 1 && (index == 2 || index == 3) ? Fate::Corrupt : Fate::Send;
  };
  ASSERT_TRUE(Gather());
  EXPECT_EQ(description_, "");
  EXPECT_EQ(Lines().size(), 10u);
  EXPECT_EQ((terminal_.requests[{0xBB, 1}]), 2);
}

// A page whose fifth attempt was complete is not lost, and a record filled
// by an earlier attempt stays when a later attempt misses it: a file that
// holds every record is complete even if a page was lost on the way.
TEST_F(CollectionTest, LastAttemptDecidesWhetherAPageIsLost) {
  Records(3 * 256 + 5);
  terminal_.fate = [](uint8_t, int page, int attempt, int index) {
    if (page <= 3 && attempt < 5 && index == 100) return Fate::Corrupt;
    if (page == 4 && attempt == 1 && index == 0) return Fate::Corrupt;
    if (page == 4 && attempt > 1 && index == 1) return Fate::Corrupt;
    return Fate::Send;
  };
  ASSERT_TRUE(Gather());
  EXPECT_EQ(description_, "") << "every record reached the file";
  EXPECT_EQ(sum_, 3 * 256 + 5);
  EXPECT_EQ((terminal_.requests[{0xBB, 3}]), 5);
  EXPECT_EQ((terminal_.requests[{0xBB, 4}]), 5);
  const auto lines = Lines();
  EXPECT_EQ(lines[3 * 256], "00100000300260301124805199");
  EXPECT_EQ(lines[3 * 256 + 1], "00100000301260301124905199");
}

TEST_F(CollectionTest, MissingRecordsAreReported) {
  Records(20);
  // The last record never arrives; a record in the middle never arrives.
  for (int missing : {19, 7}) {
    terminal_.requests.clear();
    terminal_.fate = [missing](uint8_t, int, int, int index) {
      return index == missing ? Fate::Corrupt : Fate::Send;
    };
    ASSERT_TRUE(Gather()) << missing;
    EXPECT_EQ(description_, "Net Err,Part data lose") << missing;
    EXPECT_EQ((terminal_.requests[{0xBB, 1}]), 5);
    const auto lines = Lines();
    if (missing == 19) {
      EXPECT_EQ(sum_, 19) << "the file ends at the last received record";
      EXPECT_EQ(lines.size(), 19u);
    } else {
      EXPECT_EQ(sum_, 20);
      EXPECT_EQ(lines[7], "") << "an empty line where the record is missing";
    }
  }
}

TEST_F(CollectionTest, ThreeLostPagesStopTheCollection) {
  Records(5 * 256);
  terminal_.fate = [](uint8_t, int page, int, int index) {
    return page != 2 && index == 0 ? Fate::Corrupt : Fate::Send;
  };
  ASSERT_TRUE(Gather());
  EXPECT_EQ(description_, "Net Err,Part data lose");
  EXPECT_EQ((terminal_.requests[{0xBB, 4}]), 5);
  EXPECT_EQ((terminal_.requests[{0xBB, 5}]), 0) << "later pages are not requested";
  EXPECT_EQ(sum_, 4 * 256);
  const auto lines = Lines();
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[300], "0010000012C260301050005199");
}

TEST_F(CollectionTest, SilentUnitCostsItsWait) {
  Records(3);
  terminal_.fate = [](uint8_t, int, int attempt, int index) {
    return attempt == 1 && index == 1 ? Fate::Drop : Fate::Send;
  };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Gather(1));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(description_, "");
  EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(CollectionTest, OptionsShapeTheLines) {
  terminal_.records.push_back(RecordUnit(0));
  terminal_.records[0][3] = 0xFF;
  terminal_.records[0][4] = 0xFF;
  terminal_.records[0][5] = 0xFF;
  terminal_.records[0][6] = 0xFF;
  terminal_.records[0][7] = 0x99;
  terminal_.records[0][13] = 0x0A;
  ASSERT_TRUE(Gather(1, 1, true));
  const std::string century = std::to_string(
      static_cast<int>(std::chrono::year_month_day(
                           std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()))
                           .year()))
                                  .substr(0, 2);
  EXPECT_EQ(Lines().at(0), "001-0000000001" + century + "990301000005A99");
}

TEST_F(CollectionTest, FolderMustExist) {
  Records(3);
  EXPECT_FALSE(object_->GatherData(1, (home_ / "nowhere").string(), "r.txt", description_, sum_));
  EXPECT_EQ(description_, "File path no exist!");
  EXPECT_EQ(sum_, -7) << "untouched";
  EXPECT_THROW(object_->GatherData(1, "bad\0path"s, "r.txt", description_, sum_), BasicError);
}

TEST_F(CollectionTest, CountFailureWritesNothing) {
  Records(3);
  terminal_.wrong_count_echo = true;
  EXPECT_FALSE(Gather());
  EXPECT_EQ(description_, "");
  EXPECT_EQ(sum_, 0);
  EXPECT_FALSE(std::filesystem::exists(home_ / "records.txt"));
  EXPECT_FALSE(object_->GatherData(300, home_.path().string(), "r.txt", description_, sum_));
  EXPECT_EQ(description_, "");
}

TEST_F(CollectionTest, FailuresAfterTheCountAreDescribed) {
  Records(3);
  RecordingProgress progress;
  progress.refuse = "Value";
  EXPECT_FALSE(Gather(1, 0, false, &progress));
  EXPECT_EQ(description_, "Object doesn't support this property or method");
  EXPECT_FALSE(std::filesystem::exists(home_ / "records.txt"));

  // The folder is a file: the collected file cannot be created.
  testing::WriteFile(home_ / "plain", "x");
  EXPECT_FALSE(object_->GatherData(1, (home_ / "plain").string(), "r.txt", description_, sum_));
  EXPECT_EQ(description_, "Path not found");
  EXPECT_EQ(sum_, 0);
}

TEST_F(CollectionTest, LostConnectionFailsFastAndKeepsWhatCame) {
  UseTcp();
  Records(3 * 256);
  int units_sent = 0;
  bool dropped = false;
  AnswerFrames(link_.socket(), [&](uint8_t address, const Bytes& frame) {
    if (dropped) return Bytes{};
    Bytes answer = terminal_.Answer(address, frame);
    if (frame[2] == 1) {
      dropped = true;
      // The connection drops in the middle of page 1.
      answer.resize(100 * 16);
      units_sent = 100;
      link_.socket().Receive(answer);
      link_.socket().receive_ended = true;
      return Bytes{};
    }
    return answer;
  });
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Gather(3));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(units_sent, 100);
  EXPECT_EQ(description_, "Net Err,Part data lose");
  EXPECT_EQ(sum_, 100);
}

class CardCollectionTest : public CollectionTest {
 protected:
  bool GatherCards(int32_t decimal = 0) {
    return object_->GatherSendCardData(1, home_.path().string(), "NameList.txt", description_,
                                       sum_, 1, decimal);
  }
};

TEST_F(CardCollectionTest, EveryCardWithItsName) {
  for (int i = 0; i < 513; ++i) {
    terminal_.cards.push_back(CardUnit(i, {0xD5, 0xC5, 0xC8, 0xFD, 0, 0, 0, 0}));
  }
  ASSERT_TRUE(GatherCards());
  EXPECT_EQ(description_, "");
  EXPECT_EQ(sum_, 513);
  const auto lines = ReadLines(home_ / "NameList.txt");
  ASSERT_EQ(lines.size(), 513u);
  EXPECT_EQ(lines[0], "0000000000000123张三\0\0"s);
  EXPECT_EQ(lines[512], "0000020000000123张三\0\0"s);
  EXPECT_EQ((terminal_.requests[{0xCC, 3}]), 1);
}

TEST_F(CardCollectionTest, ThirdAttemptDecides) {
  for (int i = 0; i < 4 * 256; ++i) terminal_.cards.push_back(CardUnit(i, {0, 'A'}));
  terminal_.fate = [](uint8_t, int page, int attempt, int index) {
    // Pages 1 to 3 miss a unit in their first two attempts only.
    return page <= 3 && attempt < 3 && index == 5 ? Fate::Corrupt : Fate::Send;
  };
  ASSERT_TRUE(GatherCards(1));
  EXPECT_EQ(description_, "");
  EXPECT_EQ((terminal_.requests[{0xCC, 4}]), 1);
  EXPECT_EQ(ReadLines(home_ / "NameList.txt").at(1), "000000000100000123A\0\0\0"s);

  terminal_.requests.clear();
  terminal_.fate = [](uint8_t, int page, int, int index) {
    return page <= 3 && index == 5 ? Fate::Corrupt : Fate::Send;
  };
  ASSERT_TRUE(GatherCards());
  EXPECT_EQ(description_, "Net Err,Part data lose");
  EXPECT_EQ((terminal_.requests[{0xCC, 3}]), 3);
  EXPECT_EQ((terminal_.requests[{0xCC, 4}]), 0);
}

}  // namespace
}  // namespace tallygate
