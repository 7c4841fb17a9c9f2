// What a benchmark's processes use, from getrusage and /proc: CPU time and
// resident memory, of this process or of a child such as tallygate-sim.
#ifndef TALLYGATE_BENCH_PROCESS_USAGE_H_
#define TALLYGATE_BENCH_PROCESS_USAGE_H_

#include <sys/types.h>

#include <string>

namespace tallygate::bench {

// CPU seconds (user and system) this process has used.
double OwnCpuSeconds();

// CPU seconds process `pid` has used; 0 when it cannot be read.
double ProcessCpuSeconds(pid_t pid);

// A kB line of /proc/PID/status ("VmHWM", "VmRSS") in MB, of process `pid`
// (0: this process); -1 when it cannot be read.
double StatusMb(pid_t pid, const std::string& name);

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_PROCESS_USAGE_H_
