// The command line of every program but tallygate: CLI11 with -h/--help,
// --version (the project's version), and a usage error reported as one line
// that names the problem and points at --help, with exit status 2.
#ifndef TALLYGATE_COMMON_CLI_COMMAND_LINE_H_
#define TALLYGATE_COMMON_CLI_COMMAND_LINE_H_

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace tallygate::command_line {

inline constexpr int kUsageStatus = 2;

// Adds --version and makes an option given twice keep its last value, as
// every program did before CLI11.
void Prepare(CLI::App& app);

// Parses argv into `app`. Returns the status to exit with at once: 0 after
// --help or --version (printed on standard output), kUsageStatus after a
// usage error (one line on standard error); nothing when the program goes on.
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv);

// Accepts decimal digits only, from `low` to `high` ("010" is ten, not
// CLI11's octal eight), and hands the number on in its plain form: give it
// to Option::transform (Option::check would drop the plain form).
CLI::Validator DecimalIn(uint64_t low, uint64_t high);

}  // namespace tallygate::command_line

#endif  // TALLYGATE_COMMON_CLI_COMMAND_LINE_H_
