#include "bench/sim_bench_folder.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sim/client/sim_process.h"

namespace tallygate::bench {

std::optional<std::string> SimBenchFolder(const std::string& bench) {
  if (!testing::SimProcess::Available()) {
    std::printf("%s: built without tallygate-sim\n", bench.c_str());
    return std::nullopt;
  }
  std::string stem = "tallygate-" + bench;
  std::replace(stem.begin(), stem.end(), '_', '-');
  std::string folder = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::printf("%s: cannot make %s: %s\n", bench.c_str(), folder.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  return folder;
}

}  // namespace tallygate::bench
