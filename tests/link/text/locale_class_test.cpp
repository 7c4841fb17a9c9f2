#include "link/text/locale_class.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::TempDir;
using testing::WriteFile;

struct NameCase {
  const char* name;
  int16_t expected;
};

TEST(LocaleClassOfTest, ChineseTerritoriesAndEverythingElse) {
  const NameCase cases[] = {
      {"zh_CN", 1},        {"zh_SG", 1},          {"zh", 1},
      {"zh_TW", 2},        {"zh_HK", 2},          {"en_US", 0},
      {"C", 0},            {"POSIX", 0},          {"", 0},
      {"zh_TW.UTF-8", 2},  {"zh_CN.GB18030", 1},  {"zh_TW@euro", 2},
      {"zh_HK.Big5@x", 2}, {"zh-CN", 1},          {"zh-TW", 2},
      {"ZH_tw", 2},        {"zh.UTF-8", 1},       {"zh_MO", 0},
      {"zhx_TW", 0},       {"en_TW", 0},          {"zh_TWN", 0},
      {"C.UTF-8", 0},      {"  zh_TW.UTF-8 ", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocaleClassOf(c.name), c.expected) << '"' << c.name << '"';
  }
}

struct FileCase {
  const char* contents;
  int16_t expected;
};

TEST(LocaleClassFromFilesTest, ReadsLangAndLcAll) {
  const FileCase cases[] = {
      {"LANG=zh_TW.UTF-8\n", 2},
      {"LANG=\"zh_TW.UTF-8\"\n", 2},
      {"LANG='zh_CN.UTF-8'\n", 1},
      {"LANG=\"zh_HK.UTF-8\"\r\n", 2},
      {"LANG=en_US.UTF-8\nLC_ALL=zh_TW.UTF-8\n", 2},
      {"LC_ALL=zh_CN.UTF-8\nLANG=zh_TW.UTF-8\n", 1},
      {"LC_ALL=\nLANG=zh_TW.UTF-8\n", 2},
      {"# LANG=zh_TW.UTF-8\nLANG=en_US.UTF-8\n", 0},
      {"  # comment\n\nexport LANG=zh_TW\n", 2},
      {"LANG=zh_TW # Taiwan\n", 2},
      {"LC_CTYPE=zh_TW.UTF-8\nLANG=C.UTF-8\n", 0},
      {"LANG=zh_CN\nLANG=zh_TW\n", 2},
      {"LANGUAGE=zh_TW:zh\nLANG=zh_CN\n", 1},
  };
  TempDir dir;
  for (const auto& c : cases) {
    WriteFile(dir / "locale.conf", c.contents);
    const std::vector<std::filesystem::path> files = {dir / "locale.conf"};
    EXPECT_EQ(LocaleClassFromFiles(files), c.expected) << c.contents;
  }
}

TEST(LocaleClassFromFilesTest, FirstFileThatNamesALocaleDecides) {
  TempDir dir;
  WriteFile(dir / "empty.conf", "# nothing set here\n");
  WriteFile(dir / "tw", "LANG=zh_TW.UTF-8\n");
  WriteFile(dir / "cn", "LANG=zh_CN.UTF-8\n");
  const std::vector<std::filesystem::path> missing_then_tw = {dir / "absent", dir / "tw"};
  const std::vector<std::filesystem::path> empty_then_cn = {dir / "empty.conf", dir / "cn"};
  const std::vector<std::filesystem::path> tw_then_cn = {dir / "tw", dir / "cn"};
  const std::vector<std::filesystem::path> nothing = {dir / "absent", dir / "empty.conf"};
  EXPECT_EQ(LocaleClassFromFiles(missing_then_tw), 2);
  EXPECT_EQ(LocaleClassFromFiles(empty_then_cn), 1);
  EXPECT_EQ(LocaleClassFromFiles(tw_then_cn), 2);
  EXPECT_EQ(LocaleClassFromFiles(nothing), 0);
  EXPECT_EQ(LocaleClassFromFiles({}), 0);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(GetLocaleClassTest, EnvironmentOverridesSystemFiles) {
  const NameCase cases[] = {{"zh_TW.UTF-8", 2}, {"zh_HK", 2}, {"zh_CN.GB18030", 1}, {"en_US.UTF-8", 0}};
  for (const auto& c : cases) {
    ScopedEnv env(kSystemLocaleVariable, c.name);
    EXPECT_EQ(GetLocaleClass(), c.expected) << c.name;
  }
}

TEST(GetLocaleClassTest, UserLocaleDoesNotCount) {
  ScopedEnv lang("LANG", "zh_TW.UTF-8");
  ScopedEnv lc_all("LC_ALL", "zh_TW.UTF-8");
  ScopedEnv override_var(kSystemLocaleVariable, "");
  const auto files = SystemLocaleFiles();
  EXPECT_EQ(GetLocaleClass(), LocaleClassFromFiles(files));
}

}  // namespace
}  // namespace tallygate
