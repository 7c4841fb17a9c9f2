#include "link/protocol/hex_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallygate {
namespace {

struct HexCase {
  std::vector<uint8_t> bytes;
  std::string text;
};

TEST(BytesToHexTest, TwoUpperCaseDigitsPerByteInOrder) {
  const HexCase cases[] = {
      {{}, ""},
      {{0x00, 0x0F, 0xA0}, "000FA0"},
      {{0x05, 0xAB}, "05AB"},
      {{0xFF}, "FF"},
      {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "0123456789ABCDEF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BytesToHex(c.bytes), c.text);
  }
}

TEST(BytesToHexTest, EveryByteValue) {
  std::vector<uint8_t> all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  const std::string text = BytesToHex(all);
  ASSERT_EQ(text.size(), 512u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(std::stoi(text.substr(static_cast<size_t>(b) * 2, 2), nullptr, 16), b);
  }
}

}  // namespace
}  // namespace tallygate
