// tallygate-regsvr's command line: help and version, and every usage error
// as one line on standard error with exit status 2, the store untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::testing {
namespace {

TEST(RegsvrProgram, AnswersHelpAndVersionAndRefusesBadCommandLines) {
  TempDir dir;
  const std::string store = (dir / "components").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;  // in the output, or in the one error line
  };
  const Case cases[] = {
      {{"--help"}, 0, "--system"},
      {{"-h"}, 0, "LIBRARY"},
      {{"--version"}, 0, "tallygate-regsvr "},
      {{}, 2, "LIBRARY is required"},
      {{"--system"}, 2, "LIBRARY is required"},
      {{""}, 2, "LIBRARY: needs a file name"},
      {{"-x", TALLYGATE_V70_PATH}, 2, "-x"},
      {{"--frobnicate=1", TALLYGATE_V70_PATH}, 2, "--frobnicate"},
      {{TALLYGATE_V70_PATH, "surplus"}, 2, "surplus"},
  };
  for (const Case& c : cases) {
    const ProgramResult run = RunProgram(TALLYGATE_REGSVR_PATH, c.args, {{"TALLYGATE_REGISTRY", store}});
    const std::string where = c.args.empty() ? "(no arguments)" : c.args[0];
    EXPECT_EQ(run.exit_status, c.status) << where << ": " << run.err;
    if (c.status == 0) {
      EXPECT_NE(run.out.find(c.said), std::string::npos) << where << ": " << run.out;
      EXPECT_EQ(run.err, "") << where;
    } else {
      ASSERT_EQ(run.ErrLines().size(), 1u) << where << ": " << run.err;
      const std::string line = run.ErrLines()[0];
      EXPECT_NE(line.find(c.said), std::string::npos) << where << ": " << line;
      EXPECT_TRUE(line.starts_with("tallygate-regsvr: ") && line.ends_with("(try: tallygate-regsvr --help)"))
          << line;
      EXPECT_EQ(run.out, "") << where;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(store)) << "a refused or helping run wrote the store";
}

}  // namespace
}  // namespace tallygate::testing
