// A throwaway PostgreSQL server for tests, made with the installed server's
// own programs (initdb, pg_ctl, psql) in a temporary folder: Unix socket
// only, no fsync. Run as root, the server runs as `nobody`, since PostgreSQL
// refuses root. If the test process dies, a watcher stops the server.
//
// Users: "tallygate", the superuser, is trusted; any other user must give
// its password (scram-sha-256).
#ifndef TALLYGATE_TESTS_SUPPORT_POSTGRES_SERVER_H_
#define TALLYGATE_TESTS_SUPPORT_POSTGRES_SERVER_H_

#include <filesystem>
#include <string>
#include <sys/types.h>

#include "tests/support/temp_dir.h"

namespace tallygate::testing {

class PostgresServer {
 public:
  // The folder of the newest installed server's programs
  // (/usr/lib/postgresql/N/bin); empty when none is installed.
  static std::filesystem::path Programs();

  // Makes the cluster and starts it. Throws std::runtime_error with the
  // programs' output.
  PostgresServer();
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // Fast shutdown (connections are ended) and start again, on the same
  // socket, so that a test can restart the server under an open store.
  void Stop();
  void Start();
  void Restart() {
    Stop();
    Start();
  }

  // Stops every process of the server with SIGSTOP, as a server that hangs
  // or a cut network looks to its clients: connections stay open and
  // nothing answers. Thaw resumes them; the destructor thaws a frozen server
  // before it stops it.
  void Freeze();
  void Thaw();

  // The "postgres" database as `user`, with `password` in the URI if given.
  std::string Uri(const std::string& user = "tallygate", const std::string& password = "") const;
  const std::filesystem::path& socket_folder() const { return folder_.path(); }
  int port() const { return port_; }

  // Runs SQL as the superuser with psql; returns what it printed (rows as
  // unaligned text). Throws std::runtime_error when psql fails.
  std::string Psql(const std::string& sql) const;

 private:
  void PgCtl(const std::string& action, bool must_succeed) const;
  void StartWatcher();
  void Signal(int signal) const;  // the postmaster, then each of its children

  TempDir folder_;  // the socket, the data folder, the logs
  std::filesystem::path programs_;
  int port_ = 0;
  bool running_ = false;
  bool frozen_ = false;
  uid_t uid_ = 0;   // who runs the server
  gid_t gid_ = 0;
  bool drop_ = false;
  int watcher_pipe_ = -1;
  pid_t watcher_ = -1;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_POSTGRES_SERVER_H_
