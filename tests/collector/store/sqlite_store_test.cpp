// SQLite alone: where the file goes, a disk that fills up, and the sync of
// each commit.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "collector/store/sqlite_session.h"
#include "collector/store/store.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

namespace fs = std::filesystem;
using tallygate::testing::TempDir;

TEST(SqliteStoreTest, OpensTheFileTheTextNames) {
  const TempDir folder;
  const std::string base = folder.path().string();
  const struct {
    const char* what;
    std::string database;
    std::optional<std::string> state_home;  // XDG_STATE_HOME
    std::string file;                       // expected, created with its folders
  } cases[] = {
      {"the default under XDG_STATE_HOME", "", base + "/state", base + "/state/tallygate/punches.db"},
      {"the default under HOME", "", std::nullopt, base + "/home/.local/state/tallygate/punches.db"},
      {"a relative XDG_STATE_HOME is ignored", "", "state", base + "/home/.local/state/tallygate/punches.db"},
      {"sqlite:PATH", "sqlite:" + base + "/a/b/p.db", base + "/state", base + "/a/b/p.db"},
      {"a plain path", base + "/c/p.db", std::nullopt, base + "/c/p.db"},
  };
  setenv("HOME", (base + "/home").c_str(), 1);
  for (const auto& c : cases) {
    if (c.state_home) {
      setenv("XDG_STATE_HOME", c.state_home->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
    const auto store = OpenStore(c.database);
    EXPECT_EQ(store->Describe(), "sqlite:" + c.file) << c.what;
    EXPECT_TRUE(fs::is_regular_file(c.file)) << c.what;
  }
  EXPECT_THROW(OpenStore("sqlite:"), StoreError);
}

// A small file system of its own, in a mount namespace of this test's
// process only; needs root (or CAP_SYS_ADMIN).
bool MountSmallFileSystem(const fs::path& at, std::string& why) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", at.c_str(), "tmpfs", 0, "size=384k") != 0) {
    why = std::strerror(errno);
    return false;
  }
  return true;
}

TEST(SqliteStoreTest, AFullDiskRefusesWholePages) {
  const TempDir folder;
  std::string why;
  if (!MountSmallFileSystem(folder.path(), why)) {
    GTEST_SKIP() << "cannot mount a small file system to fill (" << why << "); needs root";
  }
  const auto store = OpenStore((folder / "punches.db").string());
  store->SaveTerminal({"gate-1", "/dev/ttyS0", 1, "UTC"});
  const int64_t collection = store->BeginCollection(CollectionOf("gate-1"));

  constexpr int kPage = 256;
  int stored = 0;
  std::string error;
  for (int page = 0; page < 100 && error.empty(); ++page) {
    const auto punches = Page(page * kPage, kPage);
    try {
      EXPECT_EQ(store->StorePage("gate-1", collection, punches, MarkAfter(punches.back())), kPage);
      stored += kPage;
    } catch (const StoreError& e) {
      error = e.what();
    }
  }
  ASSERT_FALSE(error.empty()) << "the disk never filled";
  EXPECT_NE(error.find("storing a page of gate-1: database or disk is full"), std::string::npos)
      << error;
  EXPECT_GT(stored, 0);
  // What was committed is whole: every punch up to the mark, none past it.
  EXPECT_EQ(store->LoadMark("gate-1").positions, stored);
  EXPECT_EQ(CountPunches(*store), stored);
}

// A transaction that need not wait for the disk (the log of a poll that
// stored nothing) leaves every later one synced, whether it committed or
// failed.
TEST(SqliteStoreTest, AnUnsyncedTransactionLeavesTheNextOnesSynced) {
  const TempDir folder;
  SqliteSession session(folder / "punches.db");
  session.ExecScript("CREATE TABLE t (x INTEGER)");
  const auto level = [&] {
    int64_t value = -1;
    session.Query("PRAGMA synchronous", {}, [&](const SqlRow& row) { value = row.Int(0); });
    return value;
  };
  constexpr int64_t kFull = 2;
  ASSERT_EQ(level(), kFull);
  {
    SqlTransaction unsynced(session, SqlTransaction::Sync::kUnsynced);
    session.Exec("INSERT INTO t VALUES (1)");
    unsynced.Commit();
  }
  EXPECT_EQ(level(), kFull) << "after a commit";
  {
    SqlTransaction unsynced(session, SqlTransaction::Sync::kUnsynced);
    EXPECT_THROW(session.Exec("INSERT INTO missing VALUES (1)"), StoreError);
  }
  EXPECT_EQ(level(), kFull) << "after a rollback";
  int64_t rows = 0;
  session.Query("SELECT count(*) FROM t", {}, [&](const SqlRow& row) { rows = row.Int(0); });
  EXPECT_EQ(rows, 1);
}

}  // namespace
}  // namespace tallygate::collector
