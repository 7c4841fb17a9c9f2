// A `tallygate collect` killed at any moment leaves the collected file whole:
// the file that was there before, or the one a complete collection writes,
// never a part. (A hidden temporary file may stay behind: a killed program
// cleans nothing up.)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/client/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

extern char** environ;

namespace tallygate::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kFile = "DataRecordSet_original.txt";
const std::string kOld = "yesterday's complete collection\r\n";

class KilledCollectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "no tallygate-sim in this build";
    // The programs started here inherit this process's environment.
    for (const auto& [name, value] : ToolEnvironment(dir_.path())) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    const ProgramResult registered = RunProgram(TALLYGATE_REGSVR_PATH, {TALLYGATE_V70_PATH});
    ASSERT_EQ(registered.exit_status, 0) << registered.err;
  }

  static std::vector<std::string> CollectArgs(int port, const fs::path& folder) {
    return {"collect", "--tcp", "127.0.0.1:" + std::to_string(port),
            "--addr", "1", "--dir", folder.string()};
  }

  // Starts a collection into `folder`, its output thrown away.
  static pid_t StartCollect(int port, const fs::path& folder) {
    std::vector<std::string> args = CollectArgs(port, folder);
    args.insert(args.begin(), TALLYGATE_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
  }

  TempDir dir_;
};

// When the program is killed: after a time, or at the first file created or
// written in its folder, when its writing has just begun.
struct Moment {
  const char* name;
  std::chrono::milliseconds after;
  bool at_first_write;
};

TEST_F(KilledCollectTest, LeavesTheOldFileOrTheNewOneWhole) {
  // Enough records for a collection of a few seconds and a file of about a
  // megabyte, whose writing takes many calls.
  SimProcess sim({"--tcp-port", "0", "--records", "30000", "--quiet"});
  const fs::path reference = dir_ / "reference";
  fs::create_directory(reference);
  const ProgramResult complete =
      RunProgram(TALLYGATE_CLI_PATH, CollectArgs(sim.tcp_port(), reference));
  ASSERT_EQ(complete.exit_status, 0) << complete.err;
  const std::string whole = ReadFile(reference / kFile);
  ASSERT_GT(whole.size(), 500'000u);

  const Moment moments[] = {
      {"while connecting", 20ms, false},
      {"during the transfer", 700ms, false},
      // Writing a megabyte takes about a millisecond: the kill may come
      // after it, so the try is made three times.
      {"at the first write", 0ms, true},
      {"at the first write, again", 0ms, true},
      {"at the first write, a third time", 0ms, true},
  };
  int killed_writing = 0;
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.name);
    const fs::path folder = dir_ / m.name;
    fs::create_directory(folder);
    WriteFile(folder / kFile, kOld);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO), 0);
    const pid_t pid = StartCollect(sim.tcp_port(), folder);
    ASSERT_GT(pid, 0);
    if (m.at_first_write) {
      pollfd ready{watch, POLLIN, 0};
      EXPECT_EQ(::poll(&ready, 1, 60'000), 1) << "the program never wrote";
    } else {
      std::this_thread::sleep_for(m.after);
    }
    ::kill(pid, SIGKILL);
    ::close(watch);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const bool killed = WIFSIGNALED(status);
    if (m.at_first_write) {
      killed_writing += killed ? 1 : 0;  // it may have finished first
    } else {
      EXPECT_TRUE(killed) << "ended before it was killed";
    }
    const std::string left = ReadFile(folder / kFile);
    EXPECT_TRUE(left == kOld || left == whole)
        << "a file of " << left.size() << " bytes; the old one has " << kOld.size()
        << ", the new one " << whole.size();
  }
  EXPECT_GT(killed_writing, 0) << "no try was killed while writing";
}

}  // namespace
}  // namespace tallygate::testing
