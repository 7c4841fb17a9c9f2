// Runs a program as a child process, with its standard input given and its
// output collected, for tests of the command-line tools.
#ifndef TALLYGATE_TESTS_TOOLS_RUN_PROGRAM_H_
#define TALLYGATE_TESTS_TOOLS_RUN_PROGRAM_H_

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tallygate::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when killed by a signal or the time limit
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const;
  std::vector<std::string> ErrLines() const;
};

// Runs `path` with `args`. `env` is added to (or, with a null value,
// removed from) this process's environment. The child is killed after
// `limit`.
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env = {},
                         const std::string& input = "",
                         std::chrono::seconds limit = std::chrono::seconds(60));

// The environment of a tool run kept inside `dir`: its own registration
// store, settings folder ("home", made here) and locale.
std::map<std::string, std::optional<std::string>> ToolEnvironment(const std::filesystem::path& dir);

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_TOOLS_RUN_PROGRAM_H_
