#include "link/connect/collected_data_check.h"

#include <gtest/gtest.h>

#include "link/protocol/frame.h"
#include "sim/model/reply_builder.h"
#include "tallygate/basic_error.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

const CivilSeconds kNow = ToCivilSeconds(2026, 3, 15, 12, 0, 0);

TEST(CheckRecordLinesTest, Outcomes) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    int32_t count;
    int16_t delay;
    int16_t code;
    const char* description;  // nullptr: left as it was
  };
  const Case cases[] = {
      {"all good", {"0010012D687260315080000199", "0010012D687260315110000199"}, 2, 24, 0, nullptr},
      {"more lines than records", {"0010012D687260315080000199", "0010012D687260315110000199"}, 1, 24, 0, nullptr},
      {"empty line", {"0010012D687260315080000199", "", "0010012D687260315110000199"}, 3, 24, 2,
       "有乱数据,第2行 "},
      {"short line", {"0010012D68726031508000"}, 1, 24, 2, "有乱数据,第1行 "},
      {"month 13", {"0010012D687261315080000199"}, 1, 24, 2, "有乱数据,第1行 "},
      {"30 February", {"0010012D687260230080000199"}, 1, 24, 2, "有乱数据,第1行 "},
      {"hour 24", {"0010012D687260315240000199"}, 1, 24, 2, "有乱数据,第1行 "},
      {"hex letter in the date", {"0010012D6872603A5080000199"}, 1, 24, 2, "有乱数据,第1行 "},
      {"out of order",
       {"0010012D687260315080000199", "0010012D687260315075900199", "0010012D687260315090000199"}, 3,
       24, 4, "没有按递增顺序,位置：2"},
      {"equal times are in order", {"0010012D687260315080000199", "0010012D687260315080000199"}, 2,
       24, 0, nullptr},
      {"later fault replaces order",
       {"0010012D687260315080000199", "0010012D687260315075900199", "bad"}, 3, 24, 2,
       "有乱数据,第3行 "},
      {"too old replaces order",
       {"0010012D687260310080000199", "0010012D687260310075900199"}, 2, 24, 3,
       "最后一条数据的时间距离现在超过24小时，最后时间为：2026/3/10 7:59:00"},
      {"too few lines", {"0010012D687260315080000199"}, 12, 24, 1,
       "文本文件中的总条数小于机器内的总条数，文件内1条，机器内12条"},
      {"delay 0", {"0010012D687260315115959199"}, 1, 0, 3,
       "最后一条数据的时间距离现在超过0小时，最后时间为：2026/3/15 11:59:59"},
      {"midnight shows the date only", {"0010012D687260301000000199"}, 1, 1, 3,
       "最后一条数据的时间距离现在超过1小时，最后时间为：2026/3/1"},
      {"delay beyond 546 hours", {"0010012D687260101000000199"}, 1, 2000, 0, nullptr},
      {"delay beyond 546 hours, too old", {"0010012D687250101000000199"}, 1, 2000, 3,
       "最后一条数据的时间距离现在超过2000小时，最后时间为：2025/1/1"},
  };
  for (const Case& c : cases) {
    const CheckResult result = CheckRecordLines(c.lines, c.count, c.delay, false, false, kNow);
    EXPECT_EQ(result.code, c.code) << c.name;
    if (c.description == nullptr) {
      EXPECT_FALSE(result.description) << c.name;
    } else {
      EXPECT_EQ(result.description.value_or("(none)"), c.description) << c.name;
    }
  }
}

TEST(CheckRecordLinesTest, CardFieldMustBeANumber) {
  EXPECT_THROW(CheckRecordLines({"001XYZD6872603150800001"}, 1, 24, false, false, kNow), BasicError);
  EXPECT_THROW(CheckRecordLines({"00100012345X7260315080000199"}, 1, 24, true, false, kNow),
               BasicError);
}

// A file written with decimal card numbers or four-digit years is read where
// the collection put the fields.
TEST(CheckRecordLinesTest, ReadsTheLayoutOfTheOptions) {
  const std::vector<std::string> full_year = {"0010012D68720260315080000199"};
  EXPECT_EQ(CheckRecordLines(full_year, 1, 24, false, true, kNow).code, 0);
  EXPECT_EQ(CheckRecordLines(full_year, 1, 24, false, false, kNow).code, 2)
      << "read at the default places the century is taken for the year";
  const std::vector<std::string> decimal = {"0010001234567260315080000199",
                                            "001-0000000001260315090000199"};
  EXPECT_EQ(CheckRecordLines(decimal, 2, 24, true, false, kNow).code, 0);
  const std::vector<std::string> both = {"001-000000000120260315100000FF99"};
  EXPECT_EQ(CheckRecordLines(both, 1, 24, true, true, kNow).code, 0);
  EXPECT_EQ(CheckRecordLines({"0010012D68719991231080000199"}, 1, 24, false, true, kNow).code, 3)
      << "a full year keeps its century";
}

class CheckDataTest : public testing::ObjectTest {
 protected:
  void Count(int n) {
    UseSerial();
    testing::AnswerFrames(link_.port(), [n](uint8_t address, const Bytes&) {
      const uint8_t data[2] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
      return MakeReply(address, 0xBB, data, 6);
    });
  }
  std::string description_ = "before";
};

TEST_F(CheckDataTest, FileAgainstTheTerminal) {
  Count(2);
  EXPECT_EQ(object_->CheckData(1, home_.path().string(), "missing.txt", description_), -1);
  EXPECT_EQ(description_, "文件找不到," + (home_ / "missing.txt").string());

  testing::WriteFile(home_ / "r.txt", "0010012D687260315080000199\r\n0010012D687260315075900199\r\n");
  description_ = "before";
  EXPECT_EQ(object_->CheckData(1, home_.path().string(), "r.txt", description_, 32767), 4);
  EXPECT_EQ(description_, "没有按递增顺序,位置：2");
}

TEST_F(CheckDataTest, CountProblems) {
  Count(0);
  EXPECT_EQ(object_->CheckData(1, home_.path().string(), "r.txt", description_), 1);
  EXPECT_EQ(description_, "采集出的总条数是0 ");
  EXPECT_EQ(object_->CheckData(256, home_.path().string(), "r.txt", description_), -1);
  EXPECT_EQ(description_, "采集总条数失败 ");
}

}  // namespace
}  // namespace tallygate
