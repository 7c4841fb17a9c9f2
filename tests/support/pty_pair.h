// A pseudo-terminal pair for tests of the serial port: the slave is the device
// the port opens (point TALLYGATE_COM<n> at slave_path()), the master is kept
// by the test, which plays the far end of the line.
//
// A pseudo-terminal has no wire: it keeps the rate, stop bits and the
// mark/space and odd flags a port sets, but always reports 8 data bits and
// no parity enable.
#ifndef TALLYGATE_TESTS_SUPPORT_PTY_PAIR_H_
#define TALLYGATE_TESTS_SUPPORT_PTY_PAIR_H_

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tallygate::testing {

class PtyPair {
 public:
  // Throws std::runtime_error when the system has no pseudo-terminals.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slave_path() const { return slave_path_; }

  // Sends bytes to the port, as the far end of the line.
  void Write(const std::vector<uint8_t>& bytes);
  // What the port sent, until `count` bytes came or `limit` passed.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds limit);

  // The device's line settings, as the port left them.
  termios SlaveTermios() const;
  // Whether the device is marked for exclusive use (TIOCEXCL).
  bool SlaveExclusive() const;

  // Hangs up the line, as a device that goes away.
  void CloseMaster();

 private:
  int master_ = -1;
  // A slave descriptor of the test's own, opened before any port, through
  // which the device is looked at.
  int observer_ = -1;
  std::string slave_path_;
};

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_PTY_PAIR_H_
