#include "tallygate/code_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tallygate/basic_error.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::TempDir;
using testing::WriteFile;

// The code of line `line` (0-based) in the generated files: Big5-to-GB
// entries 0x4000 + index, GB-to-Big5 entries 0xC000 + index, so every entry
// tells where it was loaded from.
uint16_t GeneratedCode(int line) {
  return static_cast<uint16_t>(line < kBig5ToGbEntries ? 0x4000 + line
                                                       : 0xC000 + line - kBig5ToGbEntries);
}

std::string GeneratedText(int line) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X line %d", static_cast<unsigned>(GeneratedCode(line)), line);
  return text;
}

// `lines` lines, every other one ended by CR LF.
std::string GeneratedFile(int lines) {
  std::string file;
  for (int i = 0; i < lines; ++i) file += GeneratedText(i) + (i % 2 ? "\r\n" : "\n");
  return file;
}

int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const BasicError& e) {
    return e.number();
  }
  return 0;
}

class CodeTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { UnloadCodeTablesForTesting(); }
  void TearDown() override { UnloadCodeTablesForTesting(); }

  std::filesystem::path Write(const std::string& name, const std::string& contents) {
    WriteFile(dir_ / name, contents);
    return dir_ / name;
  }

  TempDir dir_;
};

TEST_F(CodeTablesTest, FullFileFillsBothTablesInOrder) {
  LoadCodeTables(Write("rm.txt", GeneratedFile(kCodeTableLines)));
  ASSERT_TRUE(CodeTablesLoaded());
  const auto tables = CurrentCodeTables();
  ASSERT_EQ(tables->Size(CodeTable::Big5ToGb), kBig5ToGbEntries);
  ASSERT_EQ(tables->Size(CodeTable::GbToBig5), kGbToBig5Entries);
  for (int i = 0; i < kBig5ToGbEntries; ++i) {
    ASSERT_EQ(tables->Code(CodeTable::Big5ToGb, i), GeneratedCode(i)) << i;
  }
  for (int j = 0; j < kGbToBig5Entries; ++j) {
    ASSERT_EQ(tables->Code(CodeTable::GbToBig5, j), GeneratedCode(kBig5ToGbEntries + j)) << j;
  }
  // Entries keep their text, without the line end of either kind.
  EXPECT_EQ(tables->Text(CodeTable::Big5ToGb, 0), "4000 line 0");
  EXPECT_EQ(tables->Text(CodeTable::Big5ToGb, 1), "4001 line 1");
  EXPECT_EQ(tables->Text(CodeTable::GbToBig5, kGbToBig5Entries - 1), GeneratedText(kCodeTableLines - 1));
}

TEST_F(CodeTablesTest, IndexOutsideTableThrows) {
  LoadCodeTables(Write("rm.txt", GeneratedFile(kCodeTableLines)));
  const auto tables = CurrentCodeTables();
  const std::pair<CodeTable, int> outside[] = {
      {CodeTable::Big5ToGb, -1},
      {CodeTable::Big5ToGb, kBig5ToGbEntries},
      {CodeTable::GbToBig5, -1},
      {CodeTable::GbToBig5, kGbToBig5Entries},
  };
  for (const auto& [table, index] : outside) {
    EXPECT_EQ(ErrorNumber([&] { tables->Code(table, index); }), err::kSubscriptOutOfRange) << index;
    EXPECT_EQ(ErrorNumber([&] { tables->Text(table, index); }), err::kSubscriptOutOfRange) << index;
  }
}

TEST_F(CodeTablesTest, ShortFileFillsWhatItHas) {
  struct Case {
    int lines;
    int big5_entries;
    int gb_entries;
  };
  const Case cases[] = {
      {0, 0, 0},
      {3, 3, 0},
      {kBig5ToGbEntries, kBig5ToGbEntries, 0},
      {kBig5ToGbEntries + 2, kBig5ToGbEntries, 2},
  };
  for (const auto& c : cases) {
    LoadCodeTables(Write("rm.txt", GeneratedFile(c.lines)));
    const auto tables = CurrentCodeTables();
    EXPECT_EQ(tables->Size(CodeTable::Big5ToGb), c.big5_entries) << c.lines;
    EXPECT_EQ(tables->Size(CodeTable::GbToBig5), c.gb_entries) << c.lines;
    // Entries the file did not reach are missing, not zero.
    EXPECT_EQ(ErrorNumber([&] { tables->Code(CodeTable::Big5ToGb, c.big5_entries); }),
              err::kSubscriptOutOfRange);
    if (c.gb_entries > 0) {
      EXPECT_EQ(tables->Code(CodeTable::GbToBig5, c.gb_entries - 1),
                GeneratedCode(kBig5ToGbEntries + c.gb_entries - 1));
    }
  }
}

TEST_F(CodeTablesTest, LastLineWithoutLineEndCounts) {
  LoadCodeTables(Write("rm.txt", "A4A1\nB0EA"));
  const auto tables = CurrentCodeTables();
  ASSERT_EQ(tables->Size(CodeTable::Big5ToGb), 2);
  EXPECT_EQ(tables->Code(CodeTable::Big5ToGb, 1), 0xB0EA);
}

TEST_F(CodeTablesTest, OversizedFileThrowsAndKeepsLoadedTables) {
  LoadCodeTables(Write("good.txt", GeneratedFile(5)));
  std::string oversized = GeneratedFile(kCodeTableLines) + "FFFF\n";
  // Make the oversized file's entries differ, so a partial load would show.
  oversized.replace(0, 4, "1234");
  const auto path = Write("big.txt", oversized);
  EXPECT_EQ(ErrorNumber([&] { LoadCodeTables(path); }), err::kSubscriptOutOfRange);
  const auto tables = CurrentCodeTables();
  EXPECT_EQ(tables->Size(CodeTable::Big5ToGb), 5);
  EXPECT_EQ(tables->Code(CodeTable::Big5ToGb, 0), 0x4000);
}

TEST_F(CodeTablesTest, UnreadableFileThrowsItsFileError) {
  LoadCodeTables(Write("good.txt", GeneratedFile(5)));
  EXPECT_EQ(ErrorNumber([&] { LoadCodeTables(dir_ / "absent.txt"); }), err::kFileNotFound);
  EXPECT_NE(ErrorNumber([&] { LoadCodeTables(dir_.path()); }), 0);
  EXPECT_EQ(CurrentCodeTables()->Size(CodeTable::Big5ToGb), 5);
}

TEST_F(CodeTablesTest, NothingLoaded) {
  EXPECT_FALSE(CodeTablesLoaded());
  EXPECT_EQ(ErrorNumber([] { CurrentCodeTables(); }), err::kSubscriptOutOfRange);
}

TEST_F(CodeTablesTest, EnsureLoadsOnlyOnce) {
  EXPECT_TRUE(EnsureCodeTablesLoaded(Write("first.txt", "1111\n")));
  EXPECT_FALSE(EnsureCodeTablesLoaded(Write("second.txt", "2222\n")));
  EXPECT_EQ(CurrentCodeTables()->Code(CodeTable::Big5ToGb, 0), 0x1111);
}

TEST_F(CodeTablesTest, SnapshotOutlivesReload) {
  LoadCodeTables(Write("first.txt", "1111\n"));
  const auto before = CurrentCodeTables();
  LoadCodeTables(Write("second.txt", "2222\n"));
  EXPECT_EQ(before->Code(CodeTable::Big5ToGb, 0), 0x1111);
  EXPECT_EQ(CurrentCodeTables()->Code(CodeTable::Big5ToGb, 0), 0x2222);
}

TEST(EntryCodeTest, ReadsTwoHexBytesLeniently) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"A4A1", 0xA4A1},   {"a4a1", 0xA4A1}, {"B0EA rest", 0xB0EA}, {"A4A1B2", 0xA4A1},
      {"A4", 0xA400},     {"A", 0x0A00},    {"", 0x0000},          {"A4A", 0xA40A},
      {"G1A1", 0x00A1},   {"1G2H", 0x0102}, {"ZZZZ", 0x0000},      {"0000", 0x0000},
  };
  for (const auto& [text, code] : cases) {
    EXPECT_EQ(EntryCode(text), code) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace tallygate
