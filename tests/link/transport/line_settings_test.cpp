#include "link/transport/line_settings.h"

#include <gtest/gtest.h>

namespace tallygate {
namespace {

TEST(LineSettingsTest, ParsesEveryParityAndFraming) {
  struct Case {
    const char* text;
    LineSettings expected;
    int bits;
  };
  const Case cases[] = {
      {"19200,n,8,2", {19200, Parity::None, 8, 2}, 11},
      {"19200,s,8,1", {19200, Parity::Space, 8, 1}, 11},
      {"19200,M,8,1", {19200, Parity::Mark, 8, 1}, 11},
      {"9600,e,7,1", {9600, Parity::Even, 7, 1}, 10},
      {" 1200 , o , 8 , 1 ", {1200, Parity::Odd, 8, 1}, 11},
  };
  for (const Case& c : cases) {
    auto parsed = ParseLineSettings(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
    EXPECT_EQ(parsed->BitsPerCharacter(), c.bits) << c.text;
  }
  EXPECT_EQ(ParseLineSettings("19200,S,8,1")->ToString(), "19200,s,8,1");
}

TEST(LineSettingsTest, RejectsTextsThatDoNotParse) {
  for (const char* text : {"", "19200", "19200,n,8", "19200,n,8,1,1", "19200,x,8,1",
                           "19200,n,9,1", "19200,n,8,3", "abc,n,8,1", "-9600,n,8,1",
                           "19200,nn,8,1", "19200,n,8.0,1"}) {
    EXPECT_FALSE(ParseLineSettings(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace tallygate
