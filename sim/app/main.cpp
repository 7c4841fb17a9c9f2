// tallygate-sim: simulated terminals for tests and for integrating without
// hardware. See --help (options.cpp) and README.md.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "common/cli/command_line.h"
#include "sim/app/options.h"
#include "sim/app/simulator.h"

int main(int argc, char** argv) {
  using namespace tallygate::sim;
  SimOptions options;
  CLI::App app("", "tallygate-sim");
  tallygate::command_line::Prepare(app);
  AddOptions(app, options);
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  try {
    Simulator simulator(options);
    simulator.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tallygate-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
