// The collector and the names of its TCP terminals: one terminal under two
// names is refused before anything is polled, and a name is looked up again
// at each connection, so a terminal given a new address is followed there.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>

#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::Collector;
using testing::SimProcess;
using testing::TempDir;
using namespace std::chrono_literals;

class HostNameTest : public ::testing::Test {
 protected:
  std::string WriteConfig(const std::string& terminals) {
    const std::string path = (dir_ / "collector.toml").string();
    std::ofstream(path) << "database = \"sqlite:" << (dir_ / "punches.db").string() << "\"\n"
                        << "poll_interval = 1\nhold_line_below = 0\n"
                        << terminals;
    return path;
  }

  static std::string Terminal(const std::string& name, const std::string& tcp) {
    return "[[terminal]]\nname = \"" + name + "\"\ntcp = \"" + tcp +
           "\"\ntime_zone = \"Asia/Shanghai\"\n";
  }

  TempDir dir_;
};

TEST_F(HostNameTest, EveryCommandThatPollsRefusesOneTerminalUnderTwoNames) {
  const std::string config =
      WriteConfig(Terminal("front", "127.0.0.1:4100") + Terminal("front-2", "localhost:4100"));
  for (const char* command : {"check-config", "once", "run"}) {
    Collector collector(config, command, (dir_ / "collector.log").string());
    EXPECT_EQ(collector.WaitForExit(60s), 2) << command << ": " << collector.Log();
    EXPECT_NE(collector.Log().find(":10:7: 'front-2' and terminal 'front' (line 4) are one "
                                   "terminal: 'tcp://localhost:4100' (127.0.0.1"),
              std::string::npos)
        << collector.Log();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "punches.db")) << command << ": nothing polled";
  }
  // A name that does not resolve yet may still be right: told, not refused.
  Collector check(WriteConfig(Terminal("front", "127.0.0.1:4100") +
                              Terminal("later", "gate-later.invalid:4100")),
                  "check-config", (dir_ / "check.log").string());
  EXPECT_EQ(check.WaitForExit(60s), 0) << check.Log();
  EXPECT_NE(check.Log().find("warning: " + (dir_ / "collector.toml").string() +
                             ":10:7: terminal 'later': host \"gate-later.invalid\" not resolved"),
            std::string::npos)
      << check.Log();
}

// Why this process cannot have /etc/hosts of its own, or nothing when it now
// has a mount namespace of its own (as root, else in a user namespace).
std::string OwnMountNamespace() {
  if (unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return std::string("unshare: ") + std::strerror(errno);
    }
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return std::string("making / private: ") + std::strerror(errno);
  }
  return {};
}

// Two simulated terminals on one port at 127.0.0.2 and 127.0.0.3, and a
// name in a hosts file bind-mounted over /etc/hosts (which glibc reads at
// each lookup) that points at the first, then, rewritten in place, at the
// second.
TEST_F(HostNameTest, AHostNameIsFollowedToItsNewAddress) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  // Before any thread: a user namespace is only for a process of one.
  if (const std::string why = OwnMountNamespace(); !why.empty()) {
    GTEST_SKIP() << "no /etc/hosts of the test's own: " << why;
  }
  const std::string hosts = (dir_ / "hosts").string();
  std::ofstream(hosts) << "127.0.0.2 gate-moving\n127.0.0.1 localhost\n";
  if (mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "no /etc/hosts of the test's own: bind mount: " << std::strerror(errno);
  }
  struct Unmount {
    ~Unmount() { umount2("/etc/hosts", MNT_DETACH); }
  } unmount;

  SimProcess first({"--listen", "127.0.0.2", "--tcp-port", "0", "--records", "3"});
  const std::string port = std::to_string(first.tcp_port());
  SimProcess second({"--listen", "127.0.0.3", "--tcp-port", port, "--records", "3", "--seed", "2"});
  Collector collector(WriteConfig(Terminal("moving", "gate-moving:" + port)), "run",
                      (dir_ / "collector.log").string());
  const std::regex connected("tcp client connected");
  ASSERT_TRUE(first.WaitForLine(connected, 60s)) << collector.Log();

  // In place, the same length: the bind mount holds this inode, and a
  // lookup never sees the file half written.
  const int fd = open(hosts.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "127.0.0.3", 9, 0), 9);
  close(fd);
  ASSERT_TRUE(second.WaitForLine(connected, 60s)) << collector.Log();
  EXPECT_TRUE(second.WaitForLine(std::regex("rx addr=1 cmd="), 60s)) << "a command served there";
}

}  // namespace
}  // namespace tallygate
