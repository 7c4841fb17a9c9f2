#include "bench/process_usage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace tallygate::bench {
namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

std::string ProcFile(pid_t pid, const char* name) {
  return "/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + name;
}

}  // namespace

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in(ProcFile(pid, "stat"));
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos) return 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  std::istringstream fields(stat.substr(name_end + 2));
  std::string field;
  double ticks = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double StatusMb(pid_t pid, const std::string& name) {
  std::ifstream in(ProcFile(pid, "status"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stod(line.substr(name.size() + 1)) / 1024.0;
  }
  return -1;
}

}  // namespace tallygate::bench
