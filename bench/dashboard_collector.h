// tallygate-collector `run` as a child process serving the dashboard on a
// loopback port over a filled store, with no terminals of its own to poll.
#ifndef TALLYGATE_BENCH_DASHBOARD_COLLECTOR_H_
#define TALLYGATE_BENCH_DASHBOARD_COLLECTOR_H_

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace tallygate::bench {

class DashboardCollector {
 public:
  // Writes a configuration naming `database` into `folder` (its log goes
  // there too), starts `program` and waits until /healthz answers 200.
  // Throws std::runtime_error with the log when it does not.
  DashboardCollector(const std::string& program, const std::string& database,
                     const std::filesystem::path& folder);
  // Kills the process if Stop() did not end it.
  ~DashboardCollector();
  DashboardCollector(const DashboardCollector&) = delete;
  DashboardCollector& operator=(const DashboardCollector&) = delete;

  pid_t pid() const { return pid_; }
  int port() const { return port_; }

  // SIGTERM, then waits up to 30 s: "exit status 0", or how it ended
  // otherwise.
  std::string Stop();

 private:
  // "" while the process runs; how it ended once it has.
  std::string Ended(bool wait);
  std::string Log() const;

  std::filesystem::path log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tallygate::bench

#endif  // TALLYGATE_BENCH_DASHBOARD_COLLECTOR_H_
