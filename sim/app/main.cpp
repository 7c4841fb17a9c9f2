// tallygate-sim: simulated terminals for tests and for integrating without
// hardware. See HelpText (options.cpp) and README.md.
#include <cstdio>
#include <exception>

#include "sim/app/options.h"
#include "sim/app/simulator.h"

int main(int argc, char** argv) {
  using namespace tallygate::sim;
  SimOptions options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tallygate-sim: %s (see --help)\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  try {
    Simulator simulator(options);
    simulator.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tallygate-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
