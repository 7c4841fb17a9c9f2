// The start of a child process, one way wherever a program, a benchmark or a
// test starts another (tallygate-sim, tallygate-collector, the command-line
// tools):
//
//   ChildStart start;
//   start.Dup(to_child[0], STDIN_FILENO).Open(STDERR_FILENO, log, O_WRONLY | O_CREAT);
//   pid_t pid = -1;
//   if (const int error = start.Spawn({program, "--quiet"}, pid); error != 0) ...
//
// The child inherits no descriptor beyond 0, 1 and 2: a pty end or a socket
// left open in it would keep its far side alive. It starts with no signal
// blocked and SIGTERM, SIGINT, SIGHUP and SIGPIPE at their defaults, whatever
// the parent set up (a test runner ignores SIGPIPE, a service blocks SIGTERM).
//
// Here rather than in the simulator's client, which starts only tallygate-sim:
// the benchmarks start tallygate-collector and the tests the command-line
// tools, and none of them should need the simulator for that.
#ifndef TALLYGATE_COMMON_PROCESS_CHILD_START_H_
#define TALLYGATE_COMMON_PROCESS_CHILD_START_H_

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace tallygate {

class ChildStart {
 public:
  ChildStart();
  ~ChildStart();
  ChildStart(const ChildStart&) = delete;
  ChildStart& operator=(const ChildStart&) = delete;

  // The child's descriptor `to` is this process's `from`.
  ChildStart& Dup(int from, int to);
  // The child's descriptor `to` is `path` opened with `flags` (made 0644).
  ChildStart& Open(int to, const std::string& path, int flags);

  // Starts the program at the path argv[0] with `argv`, and `environment`
  // (this process's when null). Returns 0 with `pid` set, or the error
  // number of the failure.
  int Spawn(std::vector<std::string> argv, pid_t& pid, char* const* environment = nullptr);

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace tallygate

#endif  // TALLYGATE_COMMON_PROCESS_CHILD_START_H_
