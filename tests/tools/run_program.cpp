#include "tests/tools/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <stdexcept>

#include "common/process/child_start.h"

extern char** environ;

namespace tallygate::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void Pipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

}  // namespace

std::map<std::string, std::optional<std::string>> ToolEnvironment(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "home");
  return {{"TALLYGATE_REGISTRY", (dir / "components").string()},
          {"TALLYGATE_HOME", (dir / "home").string()},
          {"TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8"},
          {"XDG_CONFIG_HOME", (dir / "config").string()}};
}

std::vector<std::string> ProgramResult::OutLines() const { return Lines(out); }
std::vector<std::string> ProgramResult::ErrLines() const { return Lines(err); }

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env,
                         const std::string& input, std::chrono::seconds limit) {
  // A child that exits before reading its input must not kill the test.
  signal(SIGPIPE, SIG_IGN);
  std::map<std::string, std::string> variables;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) variables[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : env) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  std::vector<std::string> env_texts;
  for (const auto& [name, value] : variables) env_texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : env_texts) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());

  int in[2], out[2], err[2];
  Pipe(in);
  Pipe(out);
  Pipe(err);
  ChildStart start;
  start.Dup(in[0], STDIN_FILENO).Dup(out[1], STDOUT_FILENO).Dup(err[1], STDERR_FILENO);
  pid_t pid = -1;
  const int spawned = start.Spawn(std::move(argv), pid, envp.data());
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (spawned != 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    throw std::runtime_error("cannot start " + path);
  }

  // Feed the input and drain both outputs together, so that no pipe fills.
  ProgramResult result;
  size_t fed = 0;
  int in_fd = in[1];
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool out_open = true, err_open = true, killed = false;
  while (out_open || err_open) {
    pollfd fds[3] = {{out_open ? out[0] : -1, POLLIN, 0},
                     {err_open ? err[0] : -1, POLLIN, 0},
                     {in_fd, POLLOUT, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, 3, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        (i == 0 ? out_open : err_open) = false;
      }
    }
    if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(in_fd, input.data() + fed, input.size() - fed);
      if (n > 0) fed += static_cast<size_t>(n);
      if (n < 0 || fed == input.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!killed && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  return result;
}

}  // namespace tallygate::testing
