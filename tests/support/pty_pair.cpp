#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tallygate::testing {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    const int error = errno;
    ::close(master_);
    errno = error;
    Fail("pseudo-terminal slave");
  }
  slave_path_ = name;
  observer_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (observer_ < 0) {
    const int error = errno;
    ::close(master_);
    errno = error;
    Fail("open " + slave_path_);
  }
}

PtyPair::~PtyPair() {
  if (observer_ >= 0) ::close(observer_);
  if (master_ >= 0) ::close(master_);
}

void PtyPair::Write(const std::vector<uint8_t>& bytes) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) Fail("write to the master");
    pollfd entry{master_, POLLOUT, 0};
    const int left = MillisecondsLeft(deadline);
    if (left == 0) throw std::runtime_error("the port does not take bytes");
    ::poll(&entry, 1, left);
  }
}

std::vector<uint8_t> PtyPair::Read(size_t count, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  std::vector<uint8_t> bytes;
  while (bytes.size() < count) {
    uint8_t chunk[4096];
    const ssize_t n = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (n > 0) {
      bytes.insert(bytes.end(), chunk, chunk + n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) Fail("read from the master");
    const int left = MillisecondsLeft(deadline);
    if (left == 0) break;
    pollfd entry{master_, POLLIN, 0};
    if (::poll(&entry, 1, left) < 0 && errno != EINTR) Fail("poll the master");
  }
  return bytes;
}

termios PtyPair::SlaveTermios() const {
  termios tty{};
  if (tcgetattr(observer_, &tty) != 0) Fail("tcgetattr " + slave_path_);
  return tty;
}

bool PtyPair::SlaveExclusive() const {
  int exclusive = 0;
  if (::ioctl(observer_, TIOCGEXCL, &exclusive) != 0) Fail("TIOCGEXCL " + slave_path_);
  return exclusive != 0;
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace tallygate::testing
