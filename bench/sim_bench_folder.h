// The start of a benchmark that runs tallygate-sim: the simulator built, and
// a folder of the benchmark's own for its configurations, stores and logs.
#ifndef TALLYGATE_BENCH_SIM_BENCH_FOLDER_H_
#define TALLYGATE_BENCH_SIM_BENCH_FOLDER_H_

#include <optional>
#include <string>

namespace tallygate::bench {

// A new folder "tallygate-BENCH-XXXXXX" (bench's underscores as dashes)
// under the system's temporary folder. Nothing, with a line on standard
// output that says why, when the build has no tallygate-sim or the folder
// cannot be made.
std::optional<std::string> SimBenchFolder(const std::string& bench);

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_SIM_BENCH_FOLDER_H_
