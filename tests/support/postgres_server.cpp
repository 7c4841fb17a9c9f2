#include "tests/support/postgres_server.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tests/support/free_port.h"

namespace tallygate::testing {
namespace {

namespace fs = std::filesystem;

struct Account {
  uid_t uid;
  gid_t gid;
  bool drop;  // switch to uid and gid before the program runs
};

// The program's argument vector as execv takes it; built before fork, since
// the child of a process with threads may only make system calls.
struct Argv {
  explicit Argv(const std::vector<std::string>& args) : texts(args) {
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
  }
  std::vector<std::string> texts;
  std::vector<char*> pointers;
};

// In a forked child: becomes `account` and runs the program; never returns.
[[noreturn]] void ExecAs(const Argv& argv, const Account& account) {
  if (account.drop &&
      (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0)) {
    _exit(126);
  }
  execv(argv.pointers[0], argv.pointers.data());
  _exit(127);
}

// Runs the program in `folder` with its output in `log`; returns its exit
// status (-1 when it did not exit).
int Run(const std::vector<std::string>& args, const Account& account, const fs::path& folder,
        const fs::path& log) {
  const Argv argv(args);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) throw std::runtime_error("cannot write " + log.string() + ": " + std::strerror(errno));
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
    ExecAs(argv, account);
  }
  close(out);
  if (child < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunOrThrow(const std::vector<std::string>& args, const Account& account,
                const fs::path& folder, const fs::path& log) {
  const int status = Run(args, account, folder, log);
  if (status != 0) {
    throw std::runtime_error(args[0] + " exited with " + std::to_string(status) + ": " +
                             ReadFile(log));
  }
}

// The postmaster's process id, from the first line of its pid file; in a
// forked child too (plain system calls). 0 when there is none.
pid_t PostmasterOf(const char* pid_file) {
  char text[32] = {};
  const int fd = open(pid_file, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  pid_t pid = 0;
  for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i) pid = pid * 10 + (text[i] - '0');
  return pid;
}

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // "PID (COMMAND) STATE PPID ...": the command may hold spaces and ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    pid_t ppid = 0;
    if (rest >> state >> ppid && ppid == parent) children.push_back(std::stoi(name));
  }
  return children;
}

}  // namespace

fs::path PostgresServer::Programs() {
  fs::path best;
  int best_version = -1;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const fs::path bin = entry.path() / "bin";
    if (!fs::exists(bin / "initdb") || !fs::exists(bin / "pg_ctl") || !fs::exists(bin / "psql")) {
      continue;
    }
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > best_version) {
      best_version = version;
      best = bin;
    }
  }
  return best;
}

PostgresServer::PostgresServer() : programs_(Programs()), port_(FreePort()) {
  if (programs_.empty()) throw std::runtime_error("no PostgreSQL server is installed");
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) throw std::runtime_error("no user nobody to run the server as");
    uid_ = nobody->pw_uid;
    gid_ = nobody->pw_gid;
    drop_ = true;
    if (chown(folder_.path().c_str(), uid_, gid_) != 0) {
      throw std::runtime_error(std::string("chown: ") + std::strerror(errno));
    }
  }
  const fs::path data = folder_ / "data";
  RunOrThrow({(programs_ / "initdb").string(), "-D", data.string(), "-U", "tallygate",
              "--locale=C", "--encoding=UTF8", "--no-sync", "--no-instructions"},
             {uid_, gid_, drop_}, folder_.path(), folder_ / "initdb.log");
  std::ofstream(data / "postgresql.conf", std::ios::app)
      << "listen_addresses = ''\n"
      << "unix_socket_directories = '" << folder_.path().string() << "'\n"
      << "port = " << port_ << "\n"
      << "fsync = off\nshared_buffers = 16MB\nmax_connections = 20\n";
  std::ofstream(data / "pg_hba.conf", std::ios::trunc)
      << "local all tallygate trust\nlocal all all scram-sha-256\n";
  StartWatcher();
  Start();
}

PostgresServer::~PostgresServer() {
  if (frozen_) Thaw();
  if (running_) PgCtl("stop", false);
  if (watcher_pipe_ >= 0) close(watcher_pipe_);  // the watcher's stop finds none running
  if (watcher_ > 0) waitpid(watcher_, nullptr, 0);
}

void PostgresServer::StartWatcher() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const Argv argv({(programs_ / "pg_ctl").string(), "-D", (folder_ / "data").string(), "-m",
                   "immediate", "-s", "stop"});
  const std::string pid_file = (folder_ / "data" / "postmaster.pid").string();
  watcher_ = fork();
  if (watcher_ == 0) {
    close(ends[1]);
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      dup2(quiet, 1);
      dup2(quiet, 2);
    }
    char byte;
    while (read(ends[0], &byte, 1) < 0 && errno == EINTR) {
    }
    // A postmaster left frozen takes the stop once it runs; it kills its
    // children, frozen or not.
    if (const pid_t postmaster = PostmasterOf(pid_file.c_str()); postmaster > 0) {
      kill(postmaster, SIGCONT);
    }
    ExecAs(argv, {uid_, gid_, drop_});
  }
  close(ends[0]);
  if (watcher_ < 0) {
    close(ends[1]);
    throw std::runtime_error("fork failed");
  }
  watcher_pipe_ = ends[1];
}

void PostgresServer::PgCtl(const std::string& action, bool must_succeed) const {
  std::vector<std::string> args = {(programs_ / "pg_ctl").string(), "-D",
                                   (folder_ / "data").string(), "-w", "-t", "60"};
  if (action == "start") args.insert(args.end(), {"-l", (folder_ / "server.log").string()});
  if (action == "stop") args.insert(args.end(), {"-m", "fast"});
  args.push_back(action);
  const Account account{uid_, gid_, drop_};
  const fs::path log = folder_ / ("pg_ctl-" + action + ".log");
  if (!must_succeed) {
    Run(args, account, folder_.path(), log);
    return;
  }
  try {
    RunOrThrow(args, account, folder_.path(), log);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string(error.what()) + ReadFile(folder_ / "server.log"));
  }
}

void PostgresServer::Start() {
  PgCtl("start", true);
  running_ = true;
}

void PostgresServer::Stop() {
  PgCtl("stop", true);
  running_ = false;
}

void PostgresServer::Signal(int signal) const {
  const pid_t postmaster = PostmasterOf((folder_ / "data" / "postmaster.pid").c_str());
  if (postmaster <= 0) throw std::runtime_error("the server is not running");
  // The postmaster first: frozen, it starts no new process.
  kill(postmaster, signal);
  for (const pid_t child : ChildrenOf(postmaster)) kill(child, signal);
}

void PostgresServer::Freeze() {
  Signal(SIGSTOP);
  frozen_ = true;
}

void PostgresServer::Thaw() {
  Signal(SIGCONT);
  frozen_ = false;
}

std::string PostgresServer::Uri(const std::string& user, const std::string& password) const {
  return "postgresql://" + user + (password.empty() ? "" : ":" + password) + "@/postgres?host=" +
         folder_.path().string() + "&port=" + std::to_string(port_);
}

std::string PostgresServer::Psql(const std::string& sql) const {
  const fs::path log = folder_ / "psql.log";
  RunOrThrow({(programs_ / "psql").string(), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1",
              "-h", folder_.path().string(), "-p", std::to_string(port_), "-U", "tallygate", "-d",
              "postgres", "-c", sql},
             {0, 0, false}, folder_.path(), log);
  std::string out = ReadFile(log);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace tallygate::testing
