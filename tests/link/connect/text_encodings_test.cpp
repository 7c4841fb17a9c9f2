#include "link/connect/text_encodings.h"

#include <gtest/gtest.h>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

using Four = std::array<uint8_t, 4>;

// Returns the error number a call throws, or 0.
template <typename F>
int32_t ErrorOf(F f) {
  try {
    f();
  } catch (const BasicError& error) {
    return error.number();
  }
  return 0;
}

TEST(DecimalCardBytesTest, SignedValueMostSignificantFirst) {
  const struct {
    const char* text;
    Four bytes;
  } kCases[] = {
      {"300", {0x00, 0x00, 0x01, 0x2C}},
      {"-1", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"0", {0x00, 0x00, 0x00, 0x00}},
      {"2147483647", {0x7F, 0xFF, 0xFF, 0xFF}},
      {"-2147483648", {0x80, 0x00, 0x00, 0x00}},
      {"16909060", {0x01, 0x02, 0x03, 0x04}},
      {" 42 ", {0x00, 0x00, 0x00, 0x2A}},
      {"2.5", {0x00, 0x00, 0x00, 0x02}},  // halves round to even
      {"3.5", {0x00, 0x00, 0x00, 0x04}},
  };
  for (const auto& c : kCases) EXPECT_EQ(DecimalCardBytes(c.text), c.bytes) << c.text;
}

TEST(DecimalCardBytesTest, NotANumberOrOutOfRange) {
  const struct {
    const char* text;
    int32_t error;
  } kCases[] = {
      {"", err::kTypeMismatch},        {"abc", err::kTypeMismatch},
      {"12a", err::kTypeMismatch},     {"1 2", err::kTypeMismatch},
      {"2147483648", err::kOverflow},  {"-2147483649", err::kOverflow},
      {"99999999999", err::kOverflow},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ErrorOf([&] { DecimalCardBytes(c.text); }), c.error) << c.text;
  }
}

TEST(LenientHexTest, PairsReadUpToTheFirstOtherCharacter) {
  const struct {
    const char* pair;
    uint8_t value;
  } kCases[] = {
      {"12", 0x12},  {"ff", 0xFF},  {"Ab", 0xAB},  {"7", 0x07},  {"1x", 0x01},
      {"x1", 0x00},  {"", 0x00},    {"-1", 0x00},  {" 1", 0x00}, {"1 ", 0x01},
      {"123", 0x12}, {"1张", 0x01}, {"张1", 0x00},
  };
  for (const auto& c : kCases) EXPECT_EQ(LenientHexByte(c.pair), c.value) << c.pair;
}

TEST(LenientHexTest, PairsCutFromTheLeftInCharacters) {
  const struct {
    const char* text;
    size_t count;
    std::vector<uint8_t> bytes;
  } kCases[] = {
      {"00000123", 4, {0x00, 0x00, 0x01, 0x23}},
      {"0709", 6, {0x07, 0x09, 0x00, 0x00, 0x00, 0x00}},
      {"1234567", 4, {0x12, 0x34, 0x56, 0x07}},
      {"123456", 2, {0x12, 0x34}},
      {"", 3, {0x00, 0x00, 0x00}},
      {"1x2y", 2, {0x01, 0x02}},
      // A Chinese character is one character of a pair, not three bytes.
      {"张12", 2, {0x00, 0x02}},
      {"12张345", 3, {0x12, 0x00, 0x45}},
  };
  for (const auto& c : kCases) EXPECT_EQ(LenientHexPairs(c.text, c.count), c.bytes) << c.text;
}

TEST(StrictHexTest, OneOrTwoDigitsOrTypeMismatch) {
  const struct {
    const char* pair;
    int value;  // -1: Type mismatch
  } kCases[] = {
      {"C0", 0xC0}, {"a0", 0xA0}, {"8", 0x08}, {"00", 0x00}, {"FF", 0xFF}, {"", -1},   {"0G", -1},
      {"G0", -1},   {" 1", -1},   {"1 ", -1},  {"-1", -1},   {"123", -1},  {"张", -1}, {"&H", -1},
  };
  for (const auto& c : kCases) {
    if (c.value < 0) {
      EXPECT_EQ(ErrorOf([&] { StrictHexByte(c.pair); }), err::kTypeMismatch) << c.pair;
    } else {
      EXPECT_EQ(StrictHexByte(c.pair), c.value) << c.pair;
    }
  }
}

TEST(FillLeftTest, FilledOrCutToItsLastCharacters) {
  const struct {
    const char* text;
    size_t width;
    const char* result;
  } kCases[] = {
      {"123", 8, "00000123"}, {"12345678", 8, "12345678"}, {"123456789", 8, "23456789"},
      {"", 4, "0000"},        {"张三", 4, "00张三"},       {"a张三bcdefgh", 8, "三bcdefgh"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FillLeft(c.text, c.width), c.result) << c.text;
}

}  // namespace
}  // namespace tallygate
