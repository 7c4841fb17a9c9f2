#include "tallygate/basic_convert.h"

#include <gtest/gtest.h>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

TEST(ValTest, ReadsTheLeadingNumericPart) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"2048", 2048},     {"  512", 512},     {"1 2 3", 123},     {"\t7\r", 7},
      {"12abc", 12},      {"abc", 0},         {"", 0},            {"-5", -5},
      {"+5", 5},          {"2.5", 2.5},       {".5", 0.5},        {"1e3", 1000},
      {"1D2", 100},       {"3e", 3},          {"&H1F", 31},       {"&hFFFF", -1},
      {"&H10000", 65536}, {"&O17", 15},       {"&Hxyz", 0},       {"19200,n,8,1", 19200},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(Val(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(RoundingTest, HalvesGoToTheEvenNeighbour) {
  struct Case {
    double value;
    int16_t rounded;
  };
  const Case cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},        {-0.5, 0},       {-1.5, -2},
                        {2.4, 2},   {2.6, 3},   {32767.4, 32767}, {-32768.5, -32768}};
  for (const Case& c : cases) EXPECT_EQ(RoundToInt16(c.value), c.rounded) << c.value;
}

TEST(RoundingTest, OutOfRangeIsOverflow) {
  for (double value : {32767.5, 32768.0, -32769.0, 1e300}) {
    try {
      RoundToInt16(value);
      ADD_FAILURE() << value << " did not overflow";
    } catch (const BasicError& error) {
      EXPECT_EQ(error.number(), err::kOverflow);
      EXPECT_EQ(error.description(), "Overflow");
    }
  }
  EXPECT_THROW(RoundToByte(255.5), BasicError);  // rounds to 256
  EXPECT_EQ(RoundToByte(254.5), 254);
  EXPECT_THROW(RoundToByte(-1), BasicError);
  EXPECT_THROW(RoundToInt32(2147483648.0), BasicError);
}

TEST(ParseNumberTest, WholeTextMustBeANumber) {
  EXPECT_EQ(ParseNumber(" 42 "), 42.0);
  EXPECT_EQ(ParseNumber("-1.5e2"), -150.0);
  EXPECT_EQ(ParseNumber("&H7FFF"), 32767.0);
  EXPECT_EQ(ParseNumber(""), std::nullopt);
  EXPECT_EQ(ParseNumber("12abc"), std::nullopt);
  EXPECT_EQ(ParseNumber("1 2"), std::nullopt);
  EXPECT_EQ(ParseNumber("-"), std::nullopt);
}

// Numbers too small for a double read as zero, as Basic reads them; only
// numbers too large are an overflow.
TEST(ValTest, BeyondTheRangeOfADouble) {
  for (const char* tiny : {"4.9E-325", "1e-400", "-1E-999", "0.00001e-320", "123e-330"}) {
    EXPECT_EQ(Val(tiny), 0.0) << tiny;
    EXPECT_EQ(ParseNumber(tiny), 0.0) << tiny;
  }
  for (const char* huge : {"1e400", "-2E309", "0.001e312", "12345e305"}) {
    EXPECT_THROW(Val(huge), BasicError) << huge;
    EXPECT_THROW(ParseNumber(huge), BasicError) << huge;
  }
}

}  // namespace
}  // namespace tallygate
