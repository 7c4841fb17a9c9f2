// tallygate-collector as a child process of a test, its log in a file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tallygate::testing {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

// When `done` first held, looked at every 50 ms; nothing after `limit`.
inline std::optional<Clock::time_point> WaitUntil(const std::function<bool()>& done,
                                                  Clock::duration limit) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
    if (done()) return Clock::now();
  }
  return std::nullopt;
}

// `tallygate-collector --config CONFIG COMMAND [ARGS...]`, its standard
// output and error in the log; killed with SIGKILL at the end unless it has
// ended by then.
class Collector {
 public:
  Collector(const std::string& config, const std::string& command, std::string log)
      : Collector(config, std::vector<std::string>{command}, std::move(log)) {}
  // `words`: the command and its arguments; `environment`: NAME=VALUE
  // entries added to this process's environment for it.
  Collector(const std::string& config, const std::vector<std::string>& words, std::string log,
            const std::vector<std::string>& environment = {})
      : log_(std::move(log)) {
    std::vector<std::string> args = {TALLYGATE_COLLECTOR_PATH, "--config", config};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // Made before fork: the child of a process with threads may only exec.
    // The entries added come first, and so win over those of the same name.
    std::vector<std::string> entries = environment;
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, STDERR_FILENO);
      dup2(fd, STDOUT_FILENO);
      execve(TALLYGATE_COLLECTOR_PATH, argv.data(), envp.data());
      _exit(127);
    }
  }
  ~Collector() {
    if (!status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  std::string Log() const {
    std::stringstream text;
    text << std::ifstream(log_).rdbuf();
    return text.str();
  }
  std::optional<Clock::time_point> WaitForLog(const std::string& text, Clock::duration limit) const {
    return WaitUntil([&] { return Log().find(text) != std::string::npos; }, limit);
  }
  void Signal(int signal) const { kill(pid_, signal); }
  pid_t pid() const { return pid_; }
  // The exit status (-1 for a signal) once the program has ended.
  std::optional<int> WaitForExit(Clock::duration limit) {
    WaitUntil(
        [&] {
          int status = 0;
          if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
          return true;
        },
        limit);
    return status_;
  }

 private:
  std::string log_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace tallygate::testing
