#include "common/process/child_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>

#include "tests/support/temp_dir.h"

namespace tallygate::testing {
namespace {

// Runs `argv` with standard output and error into `log`; the exit status.
int RunInto(ChildStart& start, const std::filesystem::path& log, std::vector<std::string> argv) {
  start.Open(STDOUT_FILENO, log, O_WRONLY | O_CREAT | O_TRUNC).Dup(STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  EXPECT_EQ(start.Spawn(std::move(argv), pid), 0);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Bit `signal` of a /proc/PID/status mask line ("SigIgn:\t0000000000001000").
bool MaskHas(const std::string& status, const std::string& mask, int signal) {
  std::smatch found;
  if (!std::regex_search(status, found, std::regex(mask + ":\\s*([0-9a-f]+)"))) {
    ADD_FAILURE() << "no " << mask << " in " << status;
    return false;
  }
  return (std::stoull(found[1].str(), nullptr, 16) >> (signal - 1) & 1) != 0;
}

TEST(ChildStartTest, ChildKeepsOnlyItsStandardDescriptors) {
  TempDir folder;
  int inheritable[2];
  ASSERT_EQ(pipe(inheritable), 0);  // no O_CLOEXEC: the child would inherit both ends
  ChildStart start;
  const std::string test = "[ -e /proc/self/fd/" + std::to_string(inheritable[1]) + " ]";
  const std::string script = test + " && echo open || echo closed";
  EXPECT_EQ(RunInto(start, folder / "log", {"/bin/sh", "-c", script}), 0);
  EXPECT_EQ(ReadFile(folder / "log"), "closed\n");
  close(inheritable[0]);
  close(inheritable[1]);
}

TEST(ChildStartTest, ChildStartsWithCleanSignalsWhateverTheParentSetUp) {
  TempDir folder;
  struct sigaction ignore{};
  struct sigaction before{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &before);
  sigset_t term, mask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, &mask);
  ChildStart start;
  EXPECT_EQ(RunInto(start, folder / "log", {"/bin/grep", "^Sig", "/proc/self/status"}), 0);
  sigprocmask(SIG_SETMASK, &mask, nullptr);
  sigaction(SIGPIPE, &before, nullptr);
  const std::string status = ReadFile(folder / "log");
  EXPECT_FALSE(MaskHas(status, "SigIgn", SIGPIPE)) << status;
  EXPECT_FALSE(MaskHas(status, "SigBlk", SIGTERM)) << status;
}

TEST(ChildStartTest, FailureIsTheErrorNumber) {
  const struct {
    std::vector<std::string> argv;
    int error;
  } cases[] = {{{"/nonexistent/program"}, ENOENT}, {{}, EINVAL}};
  for (const auto& c : cases) {
    ChildStart start;
    pid_t pid = -1;
    EXPECT_EQ(start.Spawn(c.argv, pid), c.error) << (c.argv.empty() ? "no argv" : c.argv[0]);
  }
}

}  // namespace
}  // namespace tallygate::testing
