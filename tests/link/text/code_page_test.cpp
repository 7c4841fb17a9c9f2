#include "link/text/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

using namespace std::string_literals;

struct RoundTrip {
  std::string text;
  CodePage page;
  Bytes bytes;
};

// Byte values as iconv(1) gives them for CP950 and CP936.
TEST(CodePageTest, EncodesAndDecodesRealCharacters) {
  const RoundTrip cases[] = {
      {"張", CodePage::Big5, {0xB1, 0x69}},
      {"國", CodePage::Big5, {0xB0, 0xEA}},
      {"一", CodePage::Big5, {0xA4, 0x40}},
      {"丑", CodePage::Big5, {0xA4, 0xA1}},
      {"张", CodePage::Gbk, {0xD5, 0xC5}},
      {"国", CodePage::Gbk, {0xB9, 0xFA}},
      {"國", CodePage::Gbk, {0x87, 0xF8}},
      {"中文", CodePage::Gbk, {0xD6, 0xD0, 0xCE, 0xC4}},
      {"A張1", CodePage::Big5, {0x41, 0xB1, 0x69, 0x31}},
      {"Az09 ~", CodePage::Gbk, {0x41, 0x7A, 0x30, 0x39, 0x20, 0x7E}},
      {"Az09 ~", CodePage::Big5, {0x41, 0x7A, 0x30, 0x39, 0x20, 0x7E}},
      {"A\0B"s, CodePage::Big5, {0x41, 0x00, 0x42}},
      {"张\0\0"s, CodePage::Gbk, {0xD5, 0xC5, 0x00, 0x00}},
      {"", CodePage::Gbk, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeText(c.text, c.page), c.bytes) << c.text;
    EXPECT_EQ(DecodeText(c.bytes, c.page), c.text) << c.text;
  }
}

TEST(CodePageTest, UnencodableCharacterBecomesQuestionMark) {
  const RoundTrip cases[] = {
      {"张", CodePage::Big5, {'?'}},
      {"A\U0001F600B", CodePage::Gbk, {'A', '?', 'B'}},
      {"\U0001F600\U0001F600", CodePage::Big5, {'?', '?'}},
      {"한國", CodePage::Big5, {'?', 0xB0, 0xEA}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeText(c.text, c.page), c.bytes) << c.text;
  }
}

TEST(CodePageTest, InvalidUtf8Throws) {
  const std::string cases[] = {
      "\xC3",            // cut short
      "A\xFF",           // never valid
      "\x80",            // stray continuation
      "\xC0\xAF",        // overlong '/'
      "\xE0\x80\xAF",    // overlong
      "\xED\xA0\x80",    // surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xE5\xBC",        // cut short
  };
  for (const auto& text : cases) {
    for (CodePage page : {CodePage::Gbk, CodePage::Big5}) {
      try {
        EncodeText(text, page);
        ADD_FAILURE() << "no error for " << ::testing::PrintToString(text);
      } catch (const BasicError& e) {
        EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
      }
    }
    EXPECT_FALSE(IsValidUtf8(text));
  }
}

const std::string kReplacement = "\xEF\xBF\xBD";

struct DecodeCase {
  Bytes bytes;
  CodePage page;
  std::string text;
};

TEST(CodePageTest, InvalidBytesDecodeToReplacementCharacter) {
  const DecodeCase cases[] = {
      // A pair that is no character: one replacement for the pair.
      {{0x81, 0x40}, CodePage::Big5, kReplacement},
      {{0xA4, 0x40, 0x81, 0x40, 0x41}, CodePage::Big5, "一" + kReplacement + "A"},
      {{0xA1, 0x40}, CodePage::Gbk, kReplacement},
      // A lead byte with nothing after it.
      {{0x41, 0xA4}, CodePage::Big5, "A" + kReplacement},
      // A lead byte followed by a byte that cannot follow it: the byte after
      // is read afresh.
      {{0x81, 0x30}, CodePage::Gbk, kReplacement + "0"},
      {{0xB1, 0x0A, 0x42}, CodePage::Big5, kReplacement + "\nB"},
      {{0xFF}, CodePage::Gbk, kReplacement},
      {{0xFF, 0xFF, 0xD5, 0xC5}, CodePage::Gbk, kReplacement + kReplacement + "张"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeText(c.bytes, c.page), c.text) << ::testing::PrintToString(c.bytes);
  }
}

TEST(CodePageTest, DecodesManyReplacementsWithoutLoss) {
  // More output than input bytes: every single byte grows to three.
  const Bytes bytes(1000, 0xFF);
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += kReplacement;
  EXPECT_EQ(DecodeText(bytes, CodePage::Big5), expected);
}

TEST(CodePageTest, SystemCodePageFollowsLocaleClass) {
  EXPECT_EQ(SystemCodePage(2), CodePage::Big5);
  EXPECT_EQ(SystemCodePage(1), CodePage::Gbk);
  EXPECT_EQ(SystemCodePage(0), CodePage::Gbk);
}

TEST(CodePageTest, Utf8CharLength) {
  EXPECT_EQ(Utf8CharLength(""), 0u);
  EXPECT_EQ(Utf8CharLength("AB"), 1u);
  EXPECT_EQ(Utf8CharLength("é"), 2u);
  EXPECT_EQ(Utf8CharLength("張三"), 3u);
  EXPECT_EQ(Utf8CharLength("\U0001F600"), 4u);
  EXPECT_THROW(Utf8CharLength("\xE5\xBC"), BasicError);
}

}  // namespace
}  // namespace tallygate
