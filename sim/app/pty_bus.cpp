#include "sim/app/pty_bus.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>

#include <cerrno>
#include <system_error>

namespace tallygate::sim {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyBus::PtyBus(Bus& bus, FaultPlan& faults, HostLineOptions options, Output& output)
    : output_(output),
      line_(bus, faults, options, [&output](const std::string& line) { output.Log(line); }),
      pump_(line_, false) {
  master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master_.valid()) ThrowErrno("posix_openpt");
  if (::grantpt(master_.get()) != 0) ThrowErrno("grantpt");
  if (::unlockpt(master_.get()) != 0) ThrowErrno("unlockpt");
  char name[128];
  if (::ptsname_r(master_.get(), name, sizeof name) != 0) ThrowErrno("ptsname_r");
  path_ = name;
  slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave_.valid()) ThrowErrno("open " + path_);
  termios tty{};
  if (::tcgetattr(slave_.get(), &tty) != 0) ThrowErrno("tcgetattr " + path_);
  ::cfmakeraw(&tty);
  ::cfsetispeed(&tty, B19200);
  ::cfsetospeed(&tty, B19200);
  if (::tcsetattr(slave_.get(), TCSANOW, &tty) != 0) ThrowErrno("tcsetattr " + path_);
  const int flags = ::fcntl(master_.get(), F_GETFL);
  if (flags < 0 || ::fcntl(master_.get(), F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
}

void PtyBus::Watch(std::vector<pollfd>& fds) {
  fds.push_back({master_.get(), static_cast<short>(POLLIN | (pump_.wants_write() ? POLLOUT : 0)), 0});
}

void PtyBus::Service(std::span<const pollfd> fds, TimePoint now) {
  if ((EventsOf(fds, master_.get()) & POLLIN) != 0) {
    if (pump_.ReadFrom(master_.get(), now) == StreamPump::Status::kPeerGone) {
      output_.Log("pty read error on " + path_);
    }
  }
  if (pump_.Pump(master_.get(), now) == StreamPump::Status::kPeerGone) {
    // The slave's input queue only refuses bytes for a moment; an error
    // here means the line is unusable, and the replies are lost.
    output_.Log("pty write error on " + path_);
    pump_.Reset();
  }
}

}  // namespace tallygate::sim
