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

}  // namespace
}  // namespace tallygate
