#include "tallygate/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "tallygate/basic_error.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate::registry {
namespace {

using tallygate::testing::ReadLines;
using tallygate::testing::ScopedEnv;
using tallygate::testing::TempDir;
using tallygate::testing::WriteFile;

const Entry kConnect{"TALLYGATE_v70.Connect_v70", "{CLASS-1}", "/opt/tg/lib/libTALLYGATE_V70.so.7"};

class RegistryTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::filesystem::path store_ = dir_ / "sub" / "components";
};

TEST_F(RegistryTest, AddedEntryIsFoundCaseInsensitively) {
  ScopedEnv env(kStoreVariable, store_.string());
  Add(store_, kConnect);
  EXPECT_EQ(ReadStore(store_), std::vector<Entry>{kConnect});
  for (const char* id : {"TALLYGATE_v70.Connect_v70", "tallygate_V70.CONNECT_V70"}) {
    const std::optional<Found> found = Find(id);
    ASSERT_TRUE(found.has_value()) << id;
    EXPECT_EQ(found->entry, kConnect);
    EXPECT_EQ(found->store, store_);
  }
  EXPECT_FALSE(Find("TALLYGATE_v70.Other"));
  EXPECT_EQ(ReadLines(store_).front()[0], '#') << "a new store explains itself";
}

TEST_F(RegistryTest, AddReplacesSameIdentifierOrClassAndKeepsOtherLines) {
  std::filesystem::create_directories(store_.parent_path());
  WriteFile(store_,
            "# kept comment\n"
            "Other.Thing\t{CLASS-2}\t/usr/lib/other.so\n"
            "broken line without tabs\n"
            "TALLYGATE_V70.CONNECT_V70\t{OLD}\t/old/place.so\n"
            "Moved.Name\t{class-1}\t/old/moved.so\n");
  Add(store_, kConnect);
  EXPECT_EQ(ReadLines(store_),
            (std::vector<std::string>{"# kept comment", "Other.Thing\t{CLASS-2}\t/usr/lib/other.so",
                                      "broken line without tabs",
                                      "TALLYGATE_v70.Connect_v70\t{CLASS-1}\t"
                                      "/opt/tg/lib/libTALLYGATE_V70.so.7"}));
  EXPECT_EQ(ReadStore(store_).size(), 2u) << "the broken line is not an entry";
}

TEST_F(RegistryTest, RemoveTakesOutTheClassOnly) {
  Add(store_, kConnect);
  Add(store_, {"Other.Thing", "{CLASS-2}", "/usr/lib/other.so"});
  EXPECT_TRUE(Remove(store_, "{class-1}"));
  EXPECT_EQ(ReadStore(store_), (std::vector<Entry>{{"Other.Thing", "{CLASS-2}", "/usr/lib/other.so"}}));
  EXPECT_FALSE(Remove(store_, "{CLASS-1}"));
  const std::filesystem::path absent = dir_ / "none" / "components";
  EXPECT_FALSE(Remove(absent, "{CLASS-1}"));
  EXPECT_FALSE(std::filesystem::exists(absent.parent_path())) << "removal creates nothing";
}

TEST_F(RegistryTest, WhereStoresAre) {
  {
    ScopedEnv named(kStoreVariable, store_.string());
    EXPECT_EQ(SearchPath(), std::vector<std::filesystem::path>{store_});
    EXPECT_EQ(WritableStore(), store_);
  }
  ScopedEnv unnamed(kStoreVariable, "");
  ScopedEnv config("XDG_CONFIG_HOME", (dir_ / "config").string());
  const std::filesystem::path user = dir_ / "config" / "tallygate" / "components";
  EXPECT_EQ(SearchPath(), (std::vector<std::filesystem::path>{user, SystemStore()}));
  EXPECT_EQ(WritableStore(), user);
  Add(user, kConnect);
  const std::optional<Found> found = Find(kConnect.prog_id);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->store, user);
}

TEST_F(RegistryTest, EntriesThatCannotBeWrittenBackAreRefused) {
  const Entry bad[] = {
      {"A\tB", "{C}", "/lib/a.so"},
      {"A", "{C}\n", "/lib/a.so"},
      {"A", "{C}", "relative/a.so"},
      {"", "{C}", "/lib/a.so"},
      {"#A", "{C}", "/lib/a.so"},
  };
  for (const Entry& entry : bad) {
    try {
      Add(store_, entry);
      ADD_FAILURE() << entry.prog_id << " accepted";
    } catch (const BasicError& error) {
      EXPECT_EQ(error.number(), err::kInvalidProcedureCall);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(store_));
}

TEST_F(RegistryTest, UnwritableFolderIsPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  std::filesystem::create_directories(store_.parent_path());
  chmod(store_.parent_path().c_str(), 0555);
  try {
    Add(store_, kConnect);
    ADD_FAILURE() << "written into a read-only folder";
  } catch (const BasicError& error) {
    EXPECT_EQ(error.number(), err::kPermissionDenied);
  }
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 6;
  constexpr int kEach = 8;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string id = "P";
        id += std::to_string(t);
        id += '.';
        id += std::to_string(i);
        Add(store_, {id, "{" + id + "}", "/lib/" + id + ".so"});
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(ReadStore(store_).size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace tallygate::registry
