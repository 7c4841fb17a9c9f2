#include "link/connect/text_file.h"

#include <gtest/gtest.h>

#include "tallygate/basic_error.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::TempDir;

TEST(TextFileTest, LineEndsOfEveryKind) {
  struct Case {
    const char* contents;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"", {}},
      {"\n", {""}},
      {"x\n\n", {"x", ""}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    testing::WriteFile(dir / "f.txt", c.contents);
    EXPECT_EQ(ReadTextLines(dir / "f.txt"), c.lines) << c.contents;
  }
}

TEST(TextFileTest, ReadsAtMostTheLinesAsked) {
  TempDir dir;
  testing::WriteFile(dir / "f.txt", "1\n2\n3\n4\n");
  EXPECT_EQ(ReadTextLines(dir / "f.txt", 2), (std::vector<std::string>{"1", "2"}));
}

TEST(TextFileTest, WritesCrLfAndReportsFileErrors) {
  TempDir dir;
  WriteTextLines(dir / "out.txt", {"one", "", "two"});
  EXPECT_EQ(testing::ReadFile(dir / "out.txt"), "one\r\n\r\ntwo\r\n");
  try {
    ReadTextLines(dir / "missing.txt");
    FAIL();
  } catch (const BasicError& error) {
    EXPECT_EQ(error.number(), err::kFileNotFound);
  }
  EXPECT_THROW(WriteTextLines(dir / "no" / "such" / "out.txt", {"x"}), BasicError);
}

TEST(TextFileTest, FailedWriteSaysWhyAndLeavesTheFileAsItWas) {
  struct Case {
    const char* name;
    const char* path;
    int32_t number;
  };
  const Case cases[] = {
      {"missing folder", "no/out.txt", err::kFileNotFound},
      {"a folder in the way", "folder", err::kPathFileAccessError},
  };
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  for (const Case& c : cases) {
    try {
      WriteTextLines(dir / c.path, {"x"});
      ADD_FAILURE() << c.name;
    } catch (const BasicError& error) {
      EXPECT_EQ(error.number(), c.number) << c.name;
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file left";
}

}  // namespace
}  // namespace tallygate
