// Card management through the library against the simulated terminal:
// enrolling, finding and removing cards, reading the card at the reader,
// and writing single records, over TCP and over the serial bus.
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

class CardCommands : public SimLinkTest {
 protected:
  // FindCard's answer as "listed", "not listed" or "no answer".
  std::string Find(const std::string& card) {
    bool listed = true;
    if (!object().FindCard(1, card, listed)) return listed ? "no answer, CardYN true" : "no answer";
    return listed ? "listed" : "not listed";
  }
};

struct CardCase {
  std::string number;  // decimal text, as the library takes it
  std::string staff;
  std::string name;
  std::string status;  // the terminal's card-list entry
};

TEST_P(CardCommands, EnrolFindAndRemove) {
  ASSERT_STARTED(Start());
  const std::vector<CardCase> cases{
      {"300", "123", "张三", "card 0000012C staff 00000123 name D5C5C8FD00000000 \"张三\""},
      {"0", "0", "", "card 00000000 staff 00000000 name 0000000000000000 \"\""},
      {"2147483647", "12345678", "ABCDEFGH", "card 7FFFFFFF staff 12345678 name 4142434445464748 \"ABCDEFGH\""},
      // A staff number of FF FF FF FF must not make a listed card read as
      // missing.
      {"-1", "FFFFFFFF", "李", "card FFFFFFFF staff FFFFFFFF name C0EE000000000000 \"李\""},
  };
  for (const CardCase& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(Find(c.number), "not listed");
    EXPECT_TRUE(object().CardSendToMachine(1, c.number, c.staff, c.name, 0, ""));
    EXPECT_EQ(Find(c.number), "listed");
    EXPECT_TRUE(StatusShows(c.status));
  }
  int32_t count = 0;
  EXPECT_TRUE(object().GatherSendCardSum(1, count));
  EXPECT_EQ(count, 4);

  // Enrolling a listed card again replaces its entry.
  EXPECT_TRUE(object().CardSendToMachine(1, "300", "124", "张三丰", 0, ""));
  EXPECT_TRUE(object().GatherSendCardSum(1, count));
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(StatusShows("card 0000012C staff 00000124 name D5C5C8FDB7E10000 \"张三丰\""));

  for (const CardCase& c : cases) {
    EXPECT_TRUE(object().ClearName(1, c.number)) << c.number;
    EXPECT_EQ(Find(c.number), "not listed") << c.number;
  }
  EXPECT_TRUE(object().GatherSendCardSum(1, count));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(object().ClearName(1, "300")) << "removing a card that is not listed";
}

struct ReaderCase {
  std::string control;  // present-card arguments; empty: none presented
  std::string number;   // ReadCardNum's result
  std::string all;      // AllStr
};

TEST_P(CardCommands, ReadCardNumReportsThePresentedCard) {
  ASSERT_STARTED(Start());
  const std::vector<ReaderCase> cases{
      {"300", "300", "010004" "0000012C" "28"},
      {"300 kind=9", "300", "010009" "0000012C" "25"},
      {"4294967295", "-1", "010004" "FFFFFFFF" "05"},
      {"0x80000000 kind=0x04", "-2147483648", "010004" "80000000" "85"},
      {"300 kind=5", "", ""},  // a reading kind the library does not take
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.control);
    EXPECT_EQ(sim().Control("present-card " + c.control).substr(0, 16), "ok present-card ");
    std::string all = "stale";
    EXPECT_EQ(object().ReadCardNum(1, all), c.number);
    EXPECT_EQ(all, c.all);
  }
  // The number read goes back to the same four bytes as a decimal card text.
  EXPECT_EQ(sim().Control("present-card -2"), "ok present-card -2 (FFFFFFFE) kind 0x04 addr=1");
  std::string all;
  const std::string read = object().ReadCardNum(1, all);
  EXPECT_EQ(read, "-2");
  EXPECT_TRUE(object().CardSendToMachine(1, read, "1", "", 0, ""));
  EXPECT_TRUE(StatusShows("card FFFFFFFE staff 00000001 name 0000000000000000 \"\""));
  bool listed = false;
  EXPECT_TRUE(object().FindCard(1, read, listed));
  EXPECT_TRUE(listed);
}

TEST_P(CardCommands, ReadCardNumWithoutACardAtTheReader) {
  ASSERT_STARTED(Start());
  std::string all = "stale";
  EXPECT_EQ(object().ReadCardNum(1, all), "");
  EXPECT_EQ(all, "");
  EXPECT_TRUE(sim().WaitForLine(std::regex("ReadCardNum -> no reply \\(no card at the reader\\)")));
}

TEST_P(CardCommands, SendRecordToMachineIsCollected) {
  ASSERT_STARTED(Start({"--records", "2"}));
  EXPECT_TRUE(object().SendRecordToMachine(1, "12D687", "240315083005", "1", "99"));
  EXPECT_TRUE(object().SendRecordToMachine(1, "FFFFFFFF", "991231235959"));
  std::string description;
  int32_t written = 0;
  ASSERT_TRUE(object().GatherData(1, data_.path().string(), "r.txt", description, written, 1));
  EXPECT_EQ(description, "");
  const std::vector<std::string> lines = CrLfLines(data_ / "r.txt");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "0010012D687240315083005199");
  EXPECT_EQ(lines[3], "001FFFFFFFF991231235959FF99");
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(CardCommands);

}  // namespace
}  // namespace tallygate::testing
