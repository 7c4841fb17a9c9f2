// The simulated terminal program, tallygate-sim, as a child process of a
// test, the soak or a benchmark, and the host's end of its lines.
//
//   SimProcess sim({"--tcp-port", "0", "--pty", "--address", "1"});
//   HostEnd host = HostEnd::Tcp(sim.tcp_port());
//   host.Send({0x01, 0x03, 0x02, 0x00});
//   EXPECT_EQ(host.Read(4), (Bytes{0x01, 0x00, 0x02, 0x03}));
//   sim.Control("fault ClearFlag:next:drop");
//   sim.WaitForLine(std::regex("ClearFlag -> no reply"));
//   sim.ControlBlock("status");  // "ok status ..." and its detail lines
//
// A fleet, one terminal a port:
//
//   SimProcess fleet({"--tcp-terminals", "3", "--tcp-port", "0", "--quiet"});
//   HostEnd second = HostEnd::Tcp(fleet.tcp_ports()[1]);
//   fleet.Control("stop #2");
//   std::optional<std::vector<std::string>> held = fleet.RecordUnits("#2");
//   std::optional<std::vector<std::string>> ever = fleet.HistoryUnits("#2");
//
// The constructor returns once the program has printed "ready"; the
// destructor stops it with SIGTERM and reaps it. Standard output is read by
// a thread of its own, so the program never blocks on a full pipe; its
// standard error goes to the test's. When the build has no tallygate-sim,
// Available() is false and tests should skip.
#ifndef TALLYGATE_SIM_CLIENT_SIM_PROCESS_H_
#define TALLYGATE_SIM_CLIENT_SIM_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <regex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tallygate::testing {

using namespace std::chrono_literals;

class SimProcess {
 public:
  // Whether the build made tallygate-sim.
  static bool Available();
  static std::string ProgramPath();

  // Starts tallygate-sim with `args` and waits up to `startup` for "ready".
  // Throws std::runtime_error, with everything the program printed, when it
  // exits or stays silent instead.
  explicit SimProcess(std::vector<std::string> args, std::chrono::milliseconds startup = 20s);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // From the start-up lines: the TCP port (-1 without TCP) and the pty path
  // (empty without --pty).
  int tcp_port() const { return tcp_ports_.empty() ? -1 : tcp_ports_.front(); }
  // Every TCP port in the order announced: with --tcp-terminals, terminal
  // K's port at K-1.
  const std::vector<int>& tcp_ports() const { return tcp_ports_; }
  const std::string& pty_path() const { return pty_path_; }
  pid_t pid() const { return pid_; }

  // Sends one control line and returns its answer: the next line starting
  // with "ok" or "error". Empty when none comes within `timeout`. Throws
  // std::system_error when the program is gone or its input was closed.
  std::string Control(const std::string& line, std::chrono::milliseconds timeout = 10s);

  // Control for a command whose answer ends in "detail-lines=N" (status):
  // the answer line followed by its N detail lines. Empty when the answer
  // or its lines do not come within `timeout`.
  std::vector<std::string> ControlBlock(const std::string& line,
                                        std::chrono::milliseconds timeout = 10s);

  // The records terminal `target` ("#K", a bus address, or "" for the
  // first) holds now, as dump-records lists them: 32 hexadecimal digits, the
  // unit a record page carries. Nothing when the answer is an error or does
  // not come within `timeout`.
  std::optional<std::vector<std::string>> RecordUnits(const std::string& target = "",
                                                      std::chrono::milliseconds timeout = 10s);
  // The same for every record the terminal has held since the program
  // started, in the order they came, those since cleared included
  // (dump-history).
  std::optional<std::vector<std::string>> HistoryUnits(const std::string& target = "",
                                                       std::chrono::milliseconds timeout = 10s);

  // Writes raw text to the program's standard input (throws as Control).
  void WriteStdin(const std::string& text);
  // Closes the program's standard input.
  void CloseStdin();

  // Waits for an output line, not matched by an earlier WaitForLine, that
  // `pattern` finds (std::regex_search). Returns it, or nothing on timeout.
  std::optional<std::string> WaitForLine(const std::regex& pattern,
                                         std::chrono::milliseconds timeout = 10s);

  // Every line printed so far.
  std::vector<std::string> Lines() const;

  // Waits up to `timeout` for the program to exit by itself; returns its
  // wait status, or nothing if it is still running.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = 10s);

  // SIGTERM, then reaps the program (SIGKILL after 10 s). Returns the wait
  // status. Idempotent.
  int Stop();

 private:
  void ReadOutput(int fd);
  // The detail lines of `command` [`target`] (dump-records, dump-history),
  // unindented.
  std::optional<std::vector<std::string>> Units(const std::string& command, const std::string& target,
                                                std::chrono::milliseconds timeout);
  std::optional<size_t> FindLine(const std::regex& pattern, size_t from) const;

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::optional<int> status_;
  std::vector<int> tcp_ports_;
  std::string pty_path_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool output_ended_ = false;
  size_t wait_cursor_ = 0;
  size_t control_cursor_ = 0;
  std::thread reader_;
};

// The host's end of one of the simulator's lines: a TCP client socket, or
// the pty slave opened raw with termios, as a serial port would be.
class HostEnd {
 public:
  static HostEnd Tcp(int port);
  static HostEnd Pty(const std::string& path);

  HostEnd(HostEnd&& other) noexcept;
  HostEnd& operator=(HostEnd&& other) noexcept;
  ~HostEnd();

  void Send(std::span<const uint8_t> bytes);
  void Send(std::initializer_list<uint8_t> bytes) { Send(std::span<const uint8_t>(bytes.begin(), bytes.size())); }

  // Reads until `count` bytes have come or `timeout` has passed; returns
  // what came.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = 5s);

  // Reads whatever arrives until nothing more has come for `quiet`.
  std::vector<uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet = 300ms);

  // True when the far end closes the connection within `timeout` (TCP).
  bool ClosedByPeer(std::chrono::milliseconds timeout = 5s);

  int fd() const { return fd_; }

 private:
  explicit HostEnd(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_SIM_CLIENT_SIM_PROCESS_H_
