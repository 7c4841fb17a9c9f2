// A Traditional-Chinese system: names go to the terminal as GB2312 through
// the generated code tables and come back in Traditional characters.
#include <string>
#include <vector>

#include "tests/e2e/sim_link.h"

namespace tallygate::testing {
namespace {

class TraditionalChinese : public SimLinkTest {};

TEST_P(TraditionalChinese, NamesTravelAsGb2312AndComeBackTraditional) {
  ASSERT_STARTED(Start(Setup{{}, "zh_TW.UTF-8", true}));
  EXPECT_TRUE(object().CardSendToMachine(1, "300", "123", "張三", 0, ""));
  EXPECT_TRUE(object().CardSendToMachine(1, "301", "124", "陳小明", 0, ""));
  // The terminal holds the GB2312 bytes of the Simplified forms.
  EXPECT_TRUE(StatusShows("card 0000012C staff 00000123 name D5C5C8FD00000000 \"张三\""));
  EXPECT_TRUE(StatusShows("card 0000012D staff 00000124 name B3C2D0A1C3F70000 \"陈小明\""));

  std::string description = "untouched";
  int32_t written = 0;
  EXPECT_TRUE(object().GatherSendCardData(1, data_.path().string(), "names.txt", description, written, 1));
  EXPECT_EQ(description, "");
  EXPECT_EQ(written, 2);
  const std::string nul(1, '\0');
  EXPECT_EQ(CrLfLines(data_ / "names.txt"),
            (std::vector<std::string>{"0000012C00000123張三" + nul + nul, "0000012D00000124陳小明" + nul}));
}

INSTANTIATE_FOR_BOTH_TRANSPORTS(TraditionalChinese);

}  // namespace
}  // namespace tallygate::testing
