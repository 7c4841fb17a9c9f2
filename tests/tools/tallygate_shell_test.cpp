// tallygate as a shell user meets it, against tallygate-sim: exit statuses
// and the one line that says what went wrong, host names and IPv6 forms,
// by-reference values by parameter name, and options in either place.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sim/client/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::testing {
namespace {

// True when this machine can bind a socket to ::1.
bool HasIpv6Loopback() {
  const int fd = socket(AF_INET6, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return bound;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "no tallygate-sim in this build";
    env_ = ToolEnvironment(dir_.path());
    const ProgramResult registered = RunProgram(TALLYGATE_REGSVR_PATH, {TALLYGATE_V70_PATH}, env_);
    ASSERT_EQ(registered.exit_status, 0) << registered.err;
  }
  ProgramResult Tallygate(const std::vector<std::string>& args) {
    return RunProgram(TALLYGATE_CLI_PATH, args, env_);
  }

  TempDir dir_;
  std::map<std::string, std::optional<std::string>> env_;
};

TEST_F(ShellTest, ExitStatusesAndWhatTheySay) {
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  const std::string port = std::to_string(sim.tcp_port());
  const std::string here = "127.0.0.1:" + port;
  env_["TALLYGATE_COM17"] = (dir_ / "absent-device").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of standard error
    std::string out;  // a part of standard output
  };
  const Case cases[] = {
      {{"--tcp", here, "call", "ClearFlag", "1"}, 0, "", R"("result": true)"},
      {{"--tcp=" + here, "call", "ClearFlag", "1"}, 0, "", R"("result": true)"},
      {{"call", "ClearFlag", "1", "--tcp", here}, 0, "", R"("result": true)"},
      {{"--tcp", "localhost:" + port, "call", "ClearFlag", "1"}, 0, "", R"("result": true)"},
      {{"--tcp", "127.0.0.1:1", "call", "ClearFlag", "1"}, 1, "returned false: refused", ""},
      {{"--tcp", "no-such-host.invalid", "call", "ClearFlag", "1"}, 1, "host not found", ""},
      {{"--com", "17", "call", "Mode"}, 1, "SetPort 17 returned false: no such device", ""},
      // No terminal 2 answers: false; -1 where the member documents it.
      {{"--tcp", here, "call", "ClearFlag", "2"}, 1, "", R"("result": false)"},
      {{"--tcp", here, "call", "GetStorageModel", "2"}, 1, "", R"("result": -1)"},
      {{"--tcp", here, "call", "ClearFlag", "1.5"},
       2, R"(argument 1 (varAddr): "1.5" is not a whole number)", R"("number": 5)"},
      {{"--tcp", here, "call", "ClearFlag", "0x00000001"}, 0, "", R"("result": true)"},
      {{"--trace", "--tcp", here, "call", "ClearFlag", "1"}, 0, "\n< ", R"("result": true)"},
      {{"--tcp", here, "--basic-conversions", "call", "ClearFlag", "0.6"}, 0, "", R"("result": true)"},
      {{"call", "GatherData", "1", "/tmp", "f.txt", "@", "@0", "3", "0", "maybe"},
       2, R"(argument 8 (IsFullYear): "maybe" is not a Boolean)", ""},
      {{"call"}, 2, "(try: tallygate call --help)", ""},
      {{"--tcp", "[::1", "call", "Ver"}, 2, "no closing ]", ""},
      {{"--tcp", "h:99999", "call", "Ver"}, 2, "1 to 65535", ""},
      {{"collect", "--addr", "1"}, 2, "name a terminal: --tcp HOST[:PORT] or --com N", ""},
      {{"members", "NoSuchThing"}, 2, "no member named NoSuchThing", ""},
      {{"--version"}, 0, "", "tallygate 7.4.2"},
      {{"members", "GatherData"},
       0, "", "ByRef VarDescription As String, ByRef BackRecordSum As Long, [SleepDate As Long = 3]"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Tallygate(c.args);
    const std::string where = ::testing::PrintToString(c.args);
    EXPECT_EQ(result.exit_status, c.status) << where << ": " << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << where << ": " << result.err;
    EXPECT_NE(result.out.find(c.out), std::string::npos) << where << ": " << result.out;
    if (c.status == 2) {
      EXPECT_EQ(result.ErrLines().size(), 1u) << where << ": " << result.err;
    }
  }
}

TEST_F(ShellTest, Ipv6LiteralsInBrackets) {
  if (!HasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
  // The simulator listens on 127.0.0.1 only: ::1 refuses, and says so.
  for (const std::string where : {"[::1]:1", "[::1]"}) {
    const ProgramResult result = Tallygate({"--tcp", where, "call", "ClearFlag", "1"});
    EXPECT_EQ(result.exit_status, 1) << where;
    EXPECT_NE(result.err.find("Connect_Net " + where + " returned false: refused"),
              std::string::npos)
        << result.err;
  }
}

TEST_F(ShellTest, ByReferenceValuesByParameterName) {
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  const ProgramResult result = Tallygate({"--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port()),
                                          "call", "GatherRecordSum", "1", "@0", "&"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            R"({"call": "GatherRecordSum", "result": true, "byref": [3, ""], )"
            R"("out": {"VarRecordCount": 3, "VarDescritption": ""}})"
            "\n");
}

TEST_F(ShellTest, ScriptsRunEveryLineAndExitWithTheWorst) {
  const ProgramResult result =
      RunProgram(TALLYGATE_CLI_PATH, {"script"}, env_, "get Mode\nClearFlag x\nNoSuchThing\n");
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.OutLines().size(), 3u) << result.out;
}

TEST_F(ShellTest, CollectMakesAMissingFolder) {
  SimProcess sim({"--tcp-port", "0", "--address", "1", "--records", "3", "--quiet"});
  const auto folder = dir_ / "new" / "folder";
  const ProgramResult result =
      Tallygate({"collect", "--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port()), "--addr", "1",
                 "--dir", folder.string()});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(std::filesystem::exists(folder / "DataRecordSet_original.txt"));
}

TEST(CompletionTest, SubcommandsOptionsAndMemberNames) {
  struct Case {
    std::string line;  // the words typed, the last one being completed
    std::string offers;
  };
  const Case cases[] = {
      {"c", "call collect"},
      {"--tcp h call Clear", "ClearFlag ClearName ClearNameList ClearRecord"},
      {"members GetMachineP", "GetMachinePassword"},
      {"script --st", "--stop-on-failure"},
      {"collect --d", "--dir --decimal-card"},
  };
  const std::filesystem::path completion =
      std::filesystem::path(TALLYGATE_SOURCE_DIR) / "tools/tallygate/tallygate.bash-completion";
  for (const Case& c : cases) {
    const std::string script = "source " + completion.string() + "\n" +
                               "COMP_WORDS=(" TALLYGATE_CLI_PATH " " + c.line + ")\n"
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                               "_tallygate\necho \"${COMPREPLY[*]}\"\n";
    const ProgramResult result = RunProgram("/bin/bash", {"-c", script});
    EXPECT_EQ(result.out, c.offers + "\n") << c.line << ": " << result.err;
  }
}

}  // namespace
}  // namespace tallygate::testing
