#include "bench/dashboard_collector.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/process/child_start.h"

namespace tallygate::bench {
namespace {

using namespace std::chrono_literals;

// A loopback port nobody listens on now, for the collector to take.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  const bool found = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  if (fd >= 0) ::close(fd);
  if (!found) throw std::runtime_error("no free loopback port");
  return ntohs(address.sin_port);
}

std::string TomlString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

pid_t Spawn(std::vector<std::string> args, const std::filesystem::path& log) {
  ChildStart start;
  start.Open(STDIN_FILENO, "/dev/null", O_RDONLY)
      .Open(STDERR_FILENO, log, O_WRONLY | O_CREAT | O_TRUNC)
      .Dup(STDERR_FILENO, STDOUT_FILENO);
  const std::string program = args[0];
  pid_t pid = -1;
  if (const int failed = start.Spawn(std::move(args), pid); failed != 0) {
    throw std::runtime_error("cannot start " + program + ": " + strerror(failed));
  }
  return pid;
}

}  // namespace

DashboardCollector::DashboardCollector(const std::string& program, const std::string& database,
                                       const std::filesystem::path& folder)
    : log_(folder / "collector.log"), port_(FreePort()) {
  const std::filesystem::path config = folder / "collector.toml";
  std::ofstream(config) << "database = " << TomlString(database) << "\n";
  pid_ = Spawn({program, "--config", config.string(), "--log-level", "warning", "run", "--http",
                "127.0.0.1:" + std::to_string(port_)},
               log_);
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(1s);
  for (const auto deadline = std::chrono::steady_clock::now() + 60s;
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(100ms)) {
    if (const std::string ended = Ended(false); !ended.empty()) {
      throw std::runtime_error("tallygate-collector ended (" + ended + "): " + Log());
    }
    if (const auto result = client.Get("/healthz"); result && result->status == 200) return;
  }
  kill(pid_, SIGKILL);
  Ended(true);
  throw std::runtime_error("the dashboard's /healthz did not answer 200 within 60 s: " + Log());
}

DashboardCollector::~DashboardCollector() {
  if (pid_ < 0) return;
  kill(pid_, SIGKILL);
  Ended(true);
}

std::string DashboardCollector::Stop() {
  kill(pid_, SIGTERM);
  for (const auto deadline = std::chrono::steady_clock::now() + 30s;
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
    if (const std::string ended = Ended(false); !ended.empty()) return ended;
  }
  kill(pid_, SIGKILL);
  Ended(true);
  return "still running 30 s after SIGTERM, killed";
}

std::string DashboardCollector::Ended(bool wait) {
  int status = 0;
  if (pid_ < 0 || waitpid(pid_, &status, wait ? 0 : WNOHANG) != pid_) return "";
  pid_ = -1;
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  return "ended by signal " + std::to_string(WTERMSIG(status));
}

std::string DashboardCollector::Log() const {
  std::ifstream in(log_);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.empty() ? "(its log is empty)"
                      : text.substr(text.size() - std::min<size_t>(text.size(), 2000));
}

}  // namespace tallygate::bench
