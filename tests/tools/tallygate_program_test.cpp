// tallygate and tallygate-regsvr as a user runs them: built binaries, a
// temporary registration store and settings folder.
#include <gtest/gtest.h>

#include <regex>

#include "sim/client/sim_process.h"
#include "tallygate/registry.h"
#include "tests/support/loopback_server.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::testing {
namespace {

using namespace std::string_literals;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = ToolEnvironment(dir_.path());
  }

  ProgramResult Regsvr(std::vector<std::string> args) {
    return RunProgram(TALLYGATE_REGSVR_PATH, args, env_);
  }
  ProgramResult Tallygate(std::vector<std::string> args, const std::string& input = "") {
    return RunProgram(TALLYGATE_CLI_PATH, args, env_, input);
  }
  void Register() {
    const ProgramResult result = Regsvr({TALLYGATE_V70_PATH});
    ASSERT_EQ(result.exit_status, 0) << result.err;
  }

  TempDir dir_;
  std::map<std::string, std::optional<std::string>> env_;
};

const std::regex kVerLine(R"(\{"call": "Ver", "result": "V7\.4\.2[^"]*", "byref": \[\], "out": \{\}\})");

TEST_F(ProgramTest, RegisterCreateUnregister) {
  const ProgramResult before = Tallygate({"call", "Ver"});
  EXPECT_EQ(before.exit_status, 2);
  EXPECT_EQ(before.out, "");
  EXPECT_NE(before.err.find("not registered"), std::string::npos) << before.err;
  EXPECT_NE(before.err.find((dir_ / "components").string()), std::string::npos) << before.err;
  EXPECT_NE(before.err.find("register the library with: tallygate-regsvr"), std::string::npos)
      << before.err;

  const ProgramResult registered = Regsvr({TALLYGATE_V70_PATH});
  ASSERT_EQ(registered.exit_status, 0) << registered.err;
  const std::vector<registry::Entry> entries = registry::ReadStore(dir_ / "components");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].library, std::filesystem::path(TALLYGATE_V70_PATH));

  const ProgramResult ver = Tallygate({"call", "Ver"});
  EXPECT_EQ(ver.exit_status, 0) << ver.err;
  ASSERT_EQ(ver.OutLines().size(), 1u) << ver.out;
  EXPECT_TRUE(std::regex_match(ver.OutLines()[0], kVerLine)) << ver.out;

  const ProgramResult removed = Regsvr({"-u", TALLYGATE_V70_PATH});
  EXPECT_EQ(removed.exit_status, 0) << removed.err;
  EXPECT_TRUE(registry::ReadStore(dir_ / "components").empty());
  EXPECT_EQ(Tallygate({"call", "Ver"}).exit_status, 2);
}

TEST_F(ProgramTest, RegsvrRefusesWhatItCannotDo) {
  EXPECT_EQ(Regsvr({}).exit_status, 2);
  EXPECT_EQ(Regsvr({"-x", TALLYGATE_V70_PATH}).exit_status, 2);
  const ProgramResult missing = Regsvr({(dir_ / "none.so").string()});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("none.so"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "components"));
}

TEST_F(ProgramTest, CallsByNameWithTextArguments) {
  Register();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {{"call", "Mode"}, 0, R"({"call": "Mode", "result": 0, "byref": [], "out": {}})"},
      {{"call", "TCPPORT"}, 0, R"({"call": "TCPPORT", "result": 0, "byref": [], "out": {}})"},
      {{"call", "Mode", "1"},
       1,
       R"({"call": "Mode", "error": {"number": 450, "description": "Wrong number of arguments or invalid property assignment"}})"},
      {{"call", "NoSuchThing"},
       1,
       R"({"call": "NoSuchThing", "error": {"number": 438, "description": "Object doesn't support this property or method"}})"},
      {{"call", "ClearFlag", "abc"},
       2,
       R"({"call": "ClearFlag", "error": {"number": 5, "description": "argument 1 (varAddr): \"abc\" is not a whole number from -32768 to 32767"}})"},
      {{"call", "ClearFlag", "40000"},
       2,
       R"({"call": "ClearFlag", "error": {"number": 5, "description": "argument 1 (varAddr): \"40000\" is not a whole number from -32768 to 32767"}})"},
      {{"call", "ClearFlag", "~"},
       1,
       R"({"call": "ClearFlag", "error": {"number": 449, "description": "Argument not optional"}})"},
      {{"call", "SetClock", "1", "[08:00,later]", "1"},
       1,
       R"({"call": "SetClock", "error": {"number": 13, "description": "Type mismatch"}})"},
      {{"call", "GatherData", "1", (dir_ / "none").string(), "f.txt", "&before", "&0"},
       1,
       R"({"call": "GatherData", "result": false, "byref": ["File path no exist!", 0], "out": {"VarDescription": "File path no exist!", "BackRecordSum": 0}})"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Tallygate(c.args);
    EXPECT_EQ(result.exit_status, c.status) << c.args[1] << ": " << result.err;
    EXPECT_EQ(result.out, c.line + "\n") << c.args[1];
  }
}

TEST_F(ProgramTest, ScriptsWithLetGetAndEscapedTexts) {
  Register();
  const std::string script =
      "# a comment, then a blank line\n"
      "\n"
      "let Mode 1\n"
      "get Mode\n"
      "let Ver 'back\\slash \"quoted\"'\n"
      "get ver\n"
      "let IP \"tab\there\"\n"
      "call get IP\n"  // `call` before a name: a method named get, which there is not
      "let IP \"nul\0 and \x01\"\n"s
      "IP\n"
      "let Mode abc\n"
      "   Mode   \n";
  const ProgramResult result = Tallygate({"script"}, script);
  EXPECT_EQ(result.exit_status, 2) << "the worst line: an argument refused";
  EXPECT_EQ(result.OutLines(),
            (std::vector<std::string>{
                R"({"call": "Mode", "result": null, "byref": [], "out": {}})",
                R"({"call": "Mode", "result": 1, "byref": [], "out": {}})",
                R"({"call": "Ver", "result": null, "byref": [], "out": {}})",
                R"({"call": "ver", "result": "back\\slash \"quoted\"", "byref": [], "out": {}})",
                R"({"call": "IP", "result": null, "byref": [], "out": {}})",
                R"({"call": "get", "error": {"number": 438, "description": "Object doesn't support this property or method"}})",
                R"({"call": "IP", "result": null, "byref": [], "out": {}})",
                R"({"call": "IP", "result": "nul\u0000 and \u0001", "byref": [], "out": {}})",
                R"({"call": "Mode", "error": {"number": 5, "description": "argument 1 (value): \"abc\" is not a whole number from -32768 to 32767"}})",
                R"({"call": "Mode", "result": 1, "byref": [], "out": {}})",
            }))
      << result.err;

  WriteFile(dir_ / "ok.tg", "get Mode\nDestoryPort\n");
  const ProgramResult from_file = Tallygate({"script", (dir_ / "ok.tg").string()});
  EXPECT_EQ(from_file.exit_status, 0) << from_file.err;
  EXPECT_EQ(from_file.OutLines().size(), 2u) << from_file.out;
}

TEST_F(ProgramTest, AMalformedScriptLineIsReportedAndTheRestRuns) {
  Register();
  const ProgramResult result = Tallygate({"script"}, "get Mode\nlet Mode 'open\nget Ver\n");
  EXPECT_EQ(result.exit_status, 2);
  ASSERT_EQ(result.OutLines().size(), 3u) << "every line has its line";
  EXPECT_NE(result.OutLines()[1].find("standard input:2"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("standard input:2"), std::string::npos) << result.err;
  const ProgramResult stopped =
      Tallygate({"script", "--stop-on-failure"}, "get Mode\nlet Mode 'open\nget Ver\n");
  EXPECT_EQ(stopped.exit_status, 2);
  EXPECT_EQ(stopped.OutLines().size(), 2u) << stopped.out;
  EXPECT_EQ(Tallygate({"script"}, "let Mode\n").exit_status, 2);
  EXPECT_EQ(Tallygate({"script"}, "get\n").exit_status, 2);
  EXPECT_EQ(Tallygate({"script"}, "ClearFlag [1\n").exit_status, 2);
  EXPECT_EQ(Tallygate({"script", (dir_ / "absent.tg").string()}).exit_status, 2);
}

TEST_F(ProgramTest, UsageErrors) {
  Register();
  const std::vector<std::vector<std::string>> usages = {
      {},
      {"bogus"},
      {"call"},
      {"--tcp"},
      {"--tcp", "1.2.3.4", "--com", "1", "call", "Ver"},
      {"--speed", "9", "call", "Ver"},
      {"script", "a", "b"},
      {"call", "ClearFlag", "[1"},
  };
  for (const auto& args : usages) {
    const ProgramResult result = Tallygate(args);
    EXPECT_EQ(result.exit_status, 2) << (args.empty() ? "(none)" : args[0]);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.ErrLines().size(), 1u) << result.err;
    EXPECT_NE(result.err.find("--help)"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Tallygate({"--help"}).exit_status, 0);
}

TEST_F(ProgramTest, MessagesGoToStandardErrorOneLineEach) {
  Register();
  WriteFile(dir_ / "home" / "TallySystem.ini", "coninputmodebinary\n19200,n,8,1\n2048\n");
  const ProgramResult result = Tallygate({"call", "ShowAbout"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "{\"call\": \"ShowAbout\", \"result\": null, \"byref\": [], \"out\": {}}\n");
  const std::vector<std::string> lines = result.ErrLines();
  ASSERT_EQ(lines.size(), 2u) << result.err;
  EXPECT_EQ(lines[0],
            "msgbox: Err:TALLYGATE_v70.dll: Class initialize failed Becaus the Port already "
            "opened.");
  EXPECT_EQ(lines[1].rfind("about: About...: ", 0), 0u) << lines[1];
}

TEST_F(ProgramTest, TcpOptionConnectsBeforeTheFirstCall) {
  Register();
  LoopbackServer terminal;
  const std::string where = "127.0.0.1:" + std::to_string(terminal.port());
  const ProgramResult result = Tallygate({"--tcp", where, "script"},
                                         "get Mode\nget tcpState\nget IP\nget tcpPort\n"
                                         "GatherRecordSum 300 &5 &ok\n");
  EXPECT_EQ(result.exit_status, 1) << "GatherRecordSum returned false" << result.err;
  const std::vector<std::string> lines = result.OutLines();
  ASSERT_EQ(lines.size(), 5u) << result.out << result.err;
  EXPECT_EQ(lines[0], R"({"call": "Mode", "result": 1, "byref": [], "out": {}})");
  EXPECT_EQ(lines[1], R"({"call": "tcpState", "result": 7, "byref": [], "out": {}})");
  EXPECT_EQ(lines[2], R"({"call": "IP", "result": "127.0.0.1", "byref": [], "out": {}})");
  EXPECT_EQ(lines[3], R"({"call": "tcpPort", "result": )" + std::to_string(terminal.port()) +
                          R"(, "byref": [], "out": {}})");
  // An address that does not fit a byte fails the command, and the count
  // comes back as a number.
  EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(\{"call": "GatherRecordSum", "result": false, "byref": \[0, "[^"]*"\], "out": \{"VarRecordCount": 0, "VarDescritption": "[^"]*"\}\})")))
      << lines[4];
}

TEST_F(ProgramTest, ComOptionOpensThePortBeforeTheFirstCall) {
  Register();
  PtyPair line;
  env_["TALLYGATE_COM3"] = line.slave_path();
  const ProgramResult result = Tallygate({"--com", "3", "script"}, "get Mode\nDestoryPort\n");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err, "") << "SetPort 3 succeeded";
  EXPECT_EQ(result.OutLines(),
            (std::vector<std::string>{R"({"call": "Mode", "result": 0, "byref": [], "out": {}})",
                                      R"({"call": "DestoryPort", "result": true, "byref": [], "out": {}})"}));
  EXPECT_EQ(ReadLines(dir_ / "home" / "TallySystem.ini").at(4), "3") << "SetPort recorded it";

  const ProgramResult refused = Tallygate({"--com", "17", "call", "Mode"});
  EXPECT_EQ(refused.exit_status, 1) << "the port could not be opened";
  EXPECT_EQ(refused.out, "") << "no call runs without its port";
  EXPECT_NE(refused.err.find("SetPort 17 returned false"), std::string::npos) << refused.err;
}

TEST_F(ProgramTest, ClearFlagOnTheSimulatedTerminal) {
  if (!SimProcess::Available()) GTEST_SKIP() << "no tallygate-sim in this build";
  Register();
  SimProcess sim({"--tcp-port", "0", "--address", "1"});
  const ProgramResult result =
      Tallygate({"--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port()), "call", "ClearFlag", "1"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "{\"call\": \"ClearFlag\", \"result\": true, \"byref\": [], \"out\": {}}\n")
      << result.err;
}

}  // namespace
}  // namespace tallygate::testing
