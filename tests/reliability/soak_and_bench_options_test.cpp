// The command lines of tallygate-soak and the benchmarks: help and version
// answer at once, and a usage error is one line on standard error with exit
// status 2, before anything is run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/run_program.h"

namespace tallygate::testing {
namespace {

TEST(SoakAndBenchOptions, AnswerHelpAndVersionAndRefuseBadCommandLines) {
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int status;
    std::string said;  // in the output, or in the one error line
  };
  const Case cases[] = {
      {TALLYGATE_SOAK_PATH, {"--help"}, 0, "--fault-rate"},
      {TALLYGATE_SOAK_PATH, {"--version"}, 0, "tallygate-soak "},
      {TALLYGATE_SOAK_PATH, {"--only=nothing"}, 2, "nothing"},
      {TALLYGATE_SOAK_PATH, {"--exchanges", "ten"}, 2, "--exchanges"},
      {TALLYGATE_SOAK_PATH, {"--fault-rate=2"}, 2, "--fault-rate"},
      {TALLYGATE_SOAK_PATH, {"--report"}, 2, "--report"},
      {TALLYGATE_SOAK_PATH, {"--frobnicate"}, 2, "--frobnicate"},
      {TALLYGATE_REPLY_WAIT_BENCH_PATH, {"-h"}, 0, "reply wait"},
      {TALLYGATE_REPLY_WAIT_BENCH_PATH, {"--version"}, 0, "reply_wait_bench "},
      {TALLYGATE_REPLY_WAIT_BENCH_PATH, {"serial"}, 2, "serial"},
      {TALLYGATE_COLLECTION_BENCH_PATH, {"--help"}, 0, "{serial,tcp}"},
      {TALLYGATE_COLLECTION_BENCH_PATH, {"fast"}, 2, "fast"},
      {TALLYGATE_COLLECTION_BENCH_PATH, {"serial", "tcp"}, 2, "tcp"},
  };
  for (const Case& c : cases) {
    const std::string name = c.program.substr(c.program.rfind('/') + 1);
    const std::string where = name + " " + c.args[0];
    const ProgramResult run = RunProgram(c.program, c.args, {}, "", std::chrono::seconds(20));
    EXPECT_EQ(run.exit_status, c.status) << where << ": " << run.err;
    if (c.status == 0) {
      EXPECT_NE(run.out.find(c.said), std::string::npos) << where << ": " << run.out;
      continue;
    }
    EXPECT_EQ(run.out, "") << where;
    const std::vector<std::string> lines = run.ErrLines();
    ASSERT_EQ(lines.size(), 1u) << where << ": " << run.err;
    EXPECT_TRUE(lines[0].starts_with(name + ": ") && lines[0].ends_with("(try: " + name + " --help)") &&
                lines[0].find(c.said) != std::string::npos)
        << where << ": " << lines[0];
  }
}

}  // namespace
}  // namespace tallygate::testing
