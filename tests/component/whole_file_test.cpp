#include "tallygate/whole_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <set>
#include <system_error>

#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kOld = "old complete file\n";
const std::string kBig(200 * 1024, 'x');  // more than one buffer's worth

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

mode_t ModeOf(const fs::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

struct Outcome {
  const char* name;
  bool old_exists;
  mode_t old_mode;
  std::string bytes;
  bool commit;
};

TEST(WholeFileTest, CommitReplacesWholeAndDestroyingLeavesTheOldFile) {
  ::umask(027);  // a new file's mode follows the umask, not a fixed 0644 or mkstemp's 0600
  const Outcome cases[] = {
      {"new file", false, 0, "new\n", true},
      {"replaces, keeps mode", true, 0604, "new\n", true},
      {"replaces with nothing", true, 0640, "", true},
      {"replaces with many buffers", true, 0600, kBig, true},
      {"no commit, no file", false, 0, "new\n", false},
      {"no commit after flushed buffers", true, 0644, kBig, false},
  };
  for (const Outcome& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir / "f.txt";
    if (c.old_exists) {
      WriteFile(file, kOld);
      ASSERT_EQ(::chmod(file.c_str(), c.old_mode), 0);
    }
    {
      WholeFile whole(file);
      whole.Write(c.bytes.substr(0, c.bytes.size() / 2));
      whole.Write(c.bytes.substr(c.bytes.size() / 2));
      EXPECT_EQ(ReadFile(file), c.old_exists ? kOld : "") << "untouched until committed";
      if (c.commit) whole.Commit();
    }
    const bool present = c.commit || c.old_exists;
    EXPECT_EQ(Names(dir.path()), present ? std::set<std::string>{"f.txt"} : std::set<std::string>{})
        << "no temporary file left";
    if (!present) continue;
    EXPECT_EQ(ReadFile(file), c.commit ? c.bytes : kOld);
    EXPECT_EQ(ModeOf(file), c.old_exists ? c.old_mode : 0640);
  }
}

TEST(WholeFileTest, SymbolicLinkReplacesItsTarget) {
  TempDir dir;
  fs::create_directory(dir / "real");
  WriteFile(dir / "real" / "f.txt", kOld);
  fs::create_symlink("real/f.txt", dir / "link");
  WriteWholeFile(dir / "link", "new\n");
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(ReadFile(dir / "real" / "f.txt"), "new\n");
  EXPECT_EQ(Names(dir / "real"), std::set<std::string>{"f.txt"});
}

// Writes `bytes` to `file` in a child process, as `uid` when given, under
// `size_limit`. The child's exit status is the errno it saw (0 for none; 255
// when the error's text does not name the file).
int ErrnoInChild(const fs::path& file, const std::string& bytes, std::optional<uid_t> uid,
                 rlim_t size_limit = RLIM_INFINITY) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails with EFBIG, as on a full disk
    const rlimit limit{size_limit, size_limit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(254);
    if (uid && (::setgid(*uid) != 0 || ::setuid(*uid) != 0)) ::_exit(254);
    try {
      WriteWholeFile(file, bytes);
    } catch (const std::system_error& error) {
      const bool named = std::string(error.what()).find(file.string()) != std::string::npos;
      ::_exit(named ? error.code().value() : 255);
    }
    ::_exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

constexpr uid_t kNobody = 65534;

struct Failure {
  const char* name;
  std::function<fs::path(const TempDir&)> prepare;  // the path to write
  std::string bytes;
  rlim_t size_limit;
  int error;
};

TEST(WholeFileTest, FailuresKeepErrnoAndLeaveTheOldFileAlone) {
  const rlim_t kNone = RLIM_INFINITY;
  const auto old_file = [](const TempDir& d) {
    WriteFile(d / "f.txt", kOld);
    return d / "f.txt";
  };
  const Failure cases[] = {
      {"missing folder", [](const TempDir& d) { return d / "absent" / "f.txt"; }, "n", kNone,
       ENOENT},
      {"a folder", [](const TempDir& d) { fs::create_directory(d / "f"); return d / "f"; }, "n",
       kNone, EISDIR},
      {"read-only file",
       [&](const TempDir& d) {
         fs::permissions(d.path(), fs::perms::all);
         const fs::path file = old_file(d);
         fs::permissions(file, fs::perms::owner_read | fs::perms::others_read);
         return file;
       },
       "n", kNone, EACCES},
      {"read-only folder",
       [&](const TempDir& d) {
         const fs::path file = old_file(d);
         fs::permissions(file, fs::perms::all);
         fs::permissions(d.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
         return file;
       },
       "n", kNone, EACCES},
      // A write that does not fit fails as a full disk does, within the
      // buffer or past it.
      {"disk full at commit", old_file, std::string(40 * 1024, 'n'), 16 * 1024, EFBIG},
      {"disk full while writing", old_file, kBig, 64 * 1024, EFBIG},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = c.prepare(dir);
    const std::string before = ReadFile(file);
    const std::set<std::string> names = Names(dir.path());
    // Permissions bind only others than root.
    const bool as_nobody = c.error == EACCES && ::geteuid() == 0;
    if (as_nobody) fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    EXPECT_EQ(ErrnoInChild(file, c.bytes, as_nobody ? std::optional(kNobody) : std::nullopt,
                           c.size_limit),
              c.error);
    EXPECT_EQ(ReadFile(file), before);
    fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(Names(dir.path()), names) << "no temporary file left";
  }
}

TEST(WholeFileTest, CommitsOnlyOnce) {
  TempDir dir;
  WholeFile whole(dir / "f.txt");
  whole.Write("a");
  whole.Commit();
  EXPECT_THROW(whole.Commit(), std::system_error);
  EXPECT_THROW(whole.Write("b"), std::system_error);
  EXPECT_EQ(ReadFile(dir / "f.txt"), "a");
}

}  // namespace
}  // namespace tallygate
