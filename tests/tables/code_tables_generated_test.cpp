// The "rm.txt" generated at build time, read through the library's own
// loader and mapping routines, checked with real characters, words and
// symbols.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "link/text/char_map.h"
#include "link/text/code_page.h"
#include "tallygate/code_tables.h"
#include "tests/support/temp_dir.h"

#ifndef TALLYGATE_RM_TXT
#error "TALLYGATE_RM_TXT must name the generated rm.txt"
#endif

namespace tallygate {
namespace {

constexpr uint16_t kGbFullWidthSpace = 0xA1A1;
constexpr uint16_t kBig5FullWidthSpace = 0xA140;
constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

uint8_t Lead(uint16_t code) { return static_cast<uint8_t>(code >> 8); }
uint8_t Trail(uint16_t code) { return static_cast<uint8_t>(code & 0xFF); }

uint16_t CodeOf(const Bytes& bytes) {
  return bytes.size() == 2 ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1]) : 0;
}

// The two-byte code of one character in `page`, or 0 if the page lacks it.
uint16_t Encoded(const std::string& utf8_char, CodePage page) {
  return CodeOf(EncodeText(utf8_char, page));
}

std::string Decoded(uint16_t code, CodePage page) {
  const uint8_t bytes[] = {Lead(code), Trail(code)};
  return DecodeText(bytes, page);
}

// GBK, the library's code page for GB codes, also fills a few cells of
// GB2312's layout that GB2312 leaves empty; the tables follow GB2312 itself.
bool IsGb2312Character(uint16_t code) {
  const iconv_t cd = iconv_open("UTF-8", "GB2312");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char in[] = {static_cast<char>(Lead(code)), static_cast<char>(Trail(code))};
  char out[8];
  char* in_ptr = in;
  char* out_ptr = out;
  size_t in_left = sizeof in;
  size_t out_left = sizeof out;
  const bool ok = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == 0 && in_left == 0;
  iconv_close(cd);
  return ok;
}

std::string Hex(uint16_t code) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", code);
  return text;
}

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (c & 0x3F));
  return out;
}

class GeneratedTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadCodeTables(TALLYGATE_RM_TXT); }
  static void TearDownTestSuite() { UnloadCodeTablesForTesting(); }

  static uint16_t Big5ToGb(uint16_t big5) {
    const int index = Big5TableIndex(Lead(big5), Trail(big5));
    return CurrentCodeTables()->Code(CodeTable::Big5ToGb, index);
  }
  static uint16_t GbToBig5(uint16_t gb) {
    const int index = GbTableIndex(Lead(gb), Trail(gb));
    return CurrentCodeTables()->Code(CodeTable::GbToBig5, index);
  }
};

TEST_F(GeneratedTablesTest, FileIsTwoTablesOfFourHexDigitLinesEndedByCrLf) {
  const std::string text = testing::ReadFile(TALLYGATE_RM_TXT);
  int lines = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "line " << lines + 1 << " has no CR LF";
    const std::string line = text.substr(start, end - start);
    ++lines;
    ASSERT_EQ(line.size(), 4u) << "line " << lines << ": " << line;
    for (char c : line) {
      ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << "line " << lines << ": " << line;
    }
    start = end + 2;
  }
  EXPECT_EQ(lines, kCodeTableLines);
  EXPECT_EQ(CurrentCodeTables()->Size(CodeTable::Big5ToGb), kBig5ToGbEntries);
  EXPECT_EQ(CurrentCodeTables()->Size(CodeTable::GbToBig5), kGbToBig5Entries);
}

// A name mapped one way must be mappable back, and must not turn into bytes
// the other side cannot show.
TEST_F(GeneratedTablesTest, EveryEntryIsACharacterInTheOtherTable) {
  const auto tables = CurrentCodeTables();
  for (int i = 0; i < kBig5ToGbEntries; ++i) {
    const uint16_t gb = tables->Code(CodeTable::Big5ToGb, i);
    ASSERT_GE(GbTableIndex(Lead(gb), Trail(gb)), 0) << "entry " << i;
    ASSERT_TRUE(IsGb2312Character(gb)) << "entry " << i << ": " << Hex(gb);
  }
  for (int i = 0; i < kGbToBig5Entries; ++i) {
    const uint16_t big5 = tables->Code(CodeTable::GbToBig5, i);
    ASSERT_GE(Big5TableIndex(Lead(big5), Trail(big5)), 0) << "entry " << i;
    ASSERT_EQ(Decoded(big5, CodePage::Big5).find(kReplacementCharacter), std::string::npos)
        << "entry " << i << ": " << Hex(big5);
  }
}

// Where OpenCC has several answers for one character, any of them is right.
struct CharacterCase {
  const char* from;
  std::vector<std::string> acceptable;
};

TEST_F(GeneratedTablesTest, TraditionalCharactersMapToTheirSimplifiedForms) {
  const CharacterCase cases[] = {
      {"張", {"张"}}, {"國", {"国"}}, {"學", {"学"}}, {"陳", {"陈"}}, {"黃", {"黄"}},
      {"劉", {"刘"}}, {"鄭", {"郑"}}, {"龍", {"龙"}}, {"為", {"为"}}, {"眾", {"众"}},
      {"臺", {"台"}}, {"台", {"台"}}, {"發", {"发"}}, {"髮", {"发"}}, {"後", {"后", "後"}},
      {"裡", {"里"}}, {"著", {"著", "着"}}, {"中", {"中"}},  {"人", {"人"}}, {"王", {"王"}},
  };
  for (const auto& c : cases) {
    const uint16_t big5 = Encoded(c.from, CodePage::Big5);
    ASSERT_NE(big5, 0) << c.from << " is not in CP950";
    const std::string got = Decoded(Big5ToGb(big5), CodePage::Gbk);
    EXPECT_NE(std::find(c.acceptable.begin(), c.acceptable.end(), got), c.acceptable.end())
        << c.from << " -> " << got;
  }
}

TEST_F(GeneratedTablesTest, SimplifiedCharactersMapToTheirTraditionalForms) {
  const CharacterCase cases[] = {
      {"张", {"張"}},        {"国", {"國"}},         {"学", {"學"}}, {"陈", {"陳"}},
      {"黄", {"黃"}},        {"刘", {"劉"}},         {"郑", {"鄭"}}, {"龙", {"龍"}},
      {"为", {"為"}},        {"众", {"眾"}},         {"台", {"臺", "台"}},
      {"发", {"發", "髮"}},  {"后", {"後", "后"}},   {"着", {"著"}},
      {"里", {"裡", "裏", "里"}}, {"中", {"中"}},    {"人", {"人"}}, {"王", {"王"}},
      // Surnames keep their own character where Big5 has it.
      {"范", {"范"}},        {"余", {"余"}},         {"于", {"于"}}, {"岳", {"岳"}},
  };
  for (const auto& c : cases) {
    const uint16_t gb = Encoded(c.from, CodePage::Gbk);
    ASSERT_NE(gb, 0) << c.from << " is not in GBK";
    const std::string got = Decoded(GbToBig5(gb), CodePage::Big5);
    EXPECT_NE(std::find(c.acceptable.begin(), c.acceptable.end(), got), c.acceptable.end())
        << c.from << " -> " << got;
  }
}

// Letters, digits and punctuation common to both code pages keep their
// character both ways.
TEST_F(GeneratedTablesTest, SharedFullWidthLettersAndPunctuationMapToThemselves) {
  std::vector<std::string> shared = {"，", "。", "、", "；", "：", "？", "！", "（", "）",
                                     "「", "」", "『", "』", "【", "】", "《", "》", "…",
                                     "＠", "＃", "％", "＆", "＊", "＋", "＝", "＜", "＞",
                                     "～", "＄", "￥", "α", "Ω", "·", "—"};
  for (char32_t c = U'０'; c <= U'９'; ++c) shared.push_back(Utf8(c));
  for (char32_t c = U'Ａ'; c <= U'Ｚ'; ++c) shared.push_back(Utf8(c));
  for (char32_t c = U'ａ'; c <= U'ｚ'; ++c) shared.push_back(Utf8(c));
  for (const std::string& ch : shared) {
    const uint16_t big5 = Encoded(ch, CodePage::Big5);
    const uint16_t gb = Encoded(ch, CodePage::Gbk);
    ASSERT_NE(big5, 0) << ch;
    ASSERT_NE(gb, 0) << ch;
    EXPECT_EQ(Hex(Big5ToGb(big5)), Hex(gb)) << ch;
    EXPECT_EQ(Hex(GbToBig5(gb)), Hex(big5)) << ch;
  }
}

// Every symbol of GB2312's symbol rows that Big5 also has comes back as
// Big5's code for it.
TEST_F(GeneratedTablesTest, GbSymbolRowsMapToTheSameBig5Symbol) {
  int checked = 0;
  for (int lead = 0xA1; lead <= 0xA9; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const auto gb = static_cast<uint16_t>(lead << 8 | trail);
      if (!IsGb2312Character(gb)) continue;
      const std::string ch = Decoded(gb, CodePage::Gbk);
      const uint16_t big5 = Encoded(ch, CodePage::Big5);
      if (big5 == 0) continue;
      EXPECT_EQ(Hex(GbToBig5(gb)), Hex(big5)) << Hex(gb) << ' ' << ch;
      ++checked;
    }
  }
  EXPECT_GT(checked, 200);  // the rows hold some 260 such symbols
}

struct CodeCase {
  CodeTable table;
  uint16_t from;
  uint16_t to;
  const char* what;
};

TEST_F(GeneratedTablesTest, UnmappableCodesBecomeTheFullWidthSpace) {
  const CodeCase cases[] = {
      {CodeTable::Big5ToGb, 0xA140, kGbFullWidthSpace, "the full-width space itself"},
      {CodeTable::Big5ToGb, 0xA3C0, kGbFullWidthSpace, "no character in CP950"},
      {CodeTable::Big5ToGb, 0xAAB5, kGbFullWidthSpace, "玥, no GB2312 form"},
      {CodeTable::Big5ToGb, 0xC2E8, kGbFullWidthSpace, "鎔, no GB2312 form"},
      {CodeTable::GbToBig5, 0xA1A1, kBig5FullWidthSpace, "the full-width space itself"},
      {CodeTable::GbToBig5, 0xA4A2, kBig5FullWidthSpace, "あ, not in CP950"},
      {CodeTable::GbToBig5, 0xA2A1, kBig5FullWidthSpace, "no character in GB2312"},
      {CodeTable::GbToBig5, 0xAAA1, kBig5FullWidthSpace, "an empty GB2312 row"},
      {CodeTable::GbToBig5, 0xD7FA, kBig5FullWidthSpace, "past the last level-1 hanzi"},
  };
  for (const auto& c : cases) {
    const uint16_t got = c.table == CodeTable::Big5ToGb ? Big5ToGb(c.from) : GbToBig5(c.from);
    EXPECT_EQ(Hex(got), Hex(c.to)) << Hex(c.from) << ": " << c.what;
  }
}

struct WordCase {
  const char* big5_side;
  const char* gb_side;
};

TEST_F(GeneratedTablesTest, Big5NamesBecomeGbNamesByteForByte) {
  const WordCase cases[] = {
      {"張三", "张三"},
      {"國立臺灣大學", "国立台湾大学"},
      {"李小龍", "李小龙"},
      {"No.7 陳大文", "No.7 陈大文"},
      {"歐陽·瑪麗", "欧阳·玛丽"},
  };
  for (const auto& c : cases) {
    const Bytes big5 = EncodeText(c.big5_side, CodePage::Big5);
    EXPECT_EQ(MapBig5BytesToGb(big5), EncodeText(c.gb_side, CodePage::Gbk)) << c.big5_side;
  }
}

TEST_F(GeneratedTablesTest, GbNamesBecomeBig5NamesByteForByte) {
  const WordCase cases[] = {
      {"張三", "张三"},
      {"學習", "学习"},
      {"王為民", "王为民"},
      {"劉德華", "刘德华"},
      {"ID 12 黃", "ID 12 黄"},
  };
  for (const auto& c : cases) {
    const Bytes gb = EncodeText(c.gb_side, CodePage::Gbk);
    EXPECT_EQ(MapGbBytesToBig5(gb), EncodeText(c.big5_side, CodePage::Big5)) << c.gb_side;
  }
}

// Collecting back a name that was sent gives the same GB2312 bytes, except
// for the few characters OpenCC does not map one to one (著/着, 於/于): a
// table written in the wrong order or with a shifted column fails this for
// nearly every character.
TEST_F(GeneratedTablesTest, GbHanziSurviveTheRoundTripThroughBig5) {
  int mapped = 0;
  int changed = 0;
  for (int lead = 0xB0; lead <= 0xF7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const auto gb = static_cast<uint16_t>(lead << 8 | trail);
      const uint16_t big5 = GbToBig5(gb);
      if (big5 == kBig5FullWidthSpace) continue;
      ++mapped;
      changed += Big5ToGb(big5) != gb;
    }
  }
  EXPECT_GT(mapped, 6000);  // GB2312 has 6763 hanzi; Big5 most of them
  EXPECT_LT(changed, mapped / 100) << changed << " of " << mapped;
}

}  // namespace
}  // namespace tallygate
