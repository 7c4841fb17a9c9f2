#include "link/transport/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "link/transport/serial_device.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<speed_t> StandardSpeed(int32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return std::nullopt;
  }
}

// The standard text of `number` followed by a detail in brackets.
BasicError Detailed(int32_t number, const std::string& detail) {
  std::string text(StandardDescription(number));
  text += " (";
  text += detail;
  text += ")";
  return BasicError(number, std::move(text));
}

BasicError SystemError(int32_t number, const std::string& name, int errno_value) {
  return Detailed(number, name + ": " + std::strerror(errno_value));
}

BasicError OpenError(int errno_value, const std::string& name) {
  switch (errno_value) {
    case ENOENT:
    case ENOTDIR: return Detailed(err::kInvalidPortNumber, name + " does not exist");
    // A device node with no hardware behind it (a ttyS without a UART).
    case ENXIO:
    case ENODEV:
    case EIO: return Detailed(err::kInvalidPortNumber, name + " has no device behind it");
    case ENOTTY: return Detailed(err::kInvalidPortNumber, name + " is not a serial device");
    case EBUSY:
    case EWOULDBLOCK: return Detailed(err::kPortAlreadyOpen, name + " is in use");
    case EACCES:
    case EPERM:
    case EROFS: return Detailed(err::kPermissionDenied, name);
    default: return SystemError(err::kDeviceIoError, name, errno_value);
  }
}

// Errors by which a tty says its device has gone (hung up or unplugged).
bool DeviceGoneErrno(int errno_value) {
  return errno_value == EIO || errno_value == ENXIO || errno_value == ENODEV;
}

BasicError DeviceGoneError(const std::string& name) {
  return Detailed(err::kDeviceIoError, name + " " + std::string(kDeviceGoneText));
}

int PollTimeout(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), INT_MAX));
}

// Whether the device kept what makes the ninth bit right: the rate, the stop
// bits and, where it keeps parity at all, its kind. A pseudo-terminal has no
// wire and drops the parity enable and the character size; that is harmless.
bool DeviceTook(const termios& wanted, const termios& now) {
  if (cfgetospeed(&now) != cfgetospeed(&wanted)) return false;
  if (cfgetispeed(&now) != cfgetispeed(&wanted)) return false;
  if ((now.c_cflag & CSTOPB) != (wanted.c_cflag & CSTOPB)) return false;
  if ((now.c_cflag & PARENB) != 0) {
    const tcflag_t kind = PARENB | PARODD | CMSPAR;
    if ((now.c_cflag & kind) != (wanted.c_cflag & kind)) return false;
  }
  return true;
}

// tcsetattr after the bytes written have left. The C library fails it with
// EINVAL when the parity enable did not stick, and may then not apply it at
// all when nothing else changes; a pseudo-terminal never keeps the parity
// enable. EINVAL is therefore left to the read-back (DeviceTook) to judge.
bool SetAttributes(int fd, const termios& wanted) {
  return tcsetattr(fd, TCSADRAIN, &wanted) == 0 || errno == EINVAL;
}

// Closes a descriptor unless released; for the steps of opening.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

bool ApplyLineSettings(const LineSettings& settings, ::termios& tty) {
  const std::optional<speed_t> speed = StandardSpeed(settings.rate);
  if (!speed || (settings.data_bits != 7 && settings.data_bits != 8) ||
      (settings.stop_bits != 1 && settings.stop_bits != 2)) {
    return false;
  }
  termios result = tty;
  if (cfsetospeed(&result, *speed) != 0 || cfsetispeed(&result, *speed) != 0) return false;
  cfmakeraw(&result);

  result.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
  result.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  result.c_cflag |= CLOCAL | CREAD | (settings.data_bits == 7 ? CS7 : CS8);
  if (settings.stop_bits == 2) result.c_cflag |= CSTOPB;
  switch (settings.parity) {
    case Parity::None: break;
    case Parity::Even: result.c_cflag |= PARENB; break;
    case Parity::Odd: result.c_cflag |= PARENB | PARODD; break;
    case Parity::Mark: result.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: result.c_cflag |= PARENB | CMSPAR; break;
  }
  // With O_NONBLOCK, VMIN 1 makes an empty read fail with EAGAIN, so a read
  // of 0 bytes can only mean the line has hung up.
  result.c_cc[VMIN] = 1;
  result.c_cc[VTIME] = 0;
  tty = result;
  return true;
}

TermiosPort::TermiosPort() = default;

TermiosPort::~TermiosPort() { Close(); }

void TermiosPort::SetCommPort(int16_t port) {
  if (port < 1) throw BasicError(err::kInvalidPortNumber);
  comm_port_ = port;
}

int16_t TermiosPort::CommPort() const { return comm_port_; }

void TermiosPort::SetSettings(const std::string& settings) {
  const std::optional<LineSettings> parsed = ParseLineSettings(settings);
  if (!parsed) throw BasicError(err::kInvalidPropertyValue);
  termios tty{};
  if (fd_ >= 0 && tcgetattr(fd_, &tty) != 0) {
    const int error = errno;
    if (DeviceGoneErrno(error)) throw DeviceGoneError(Name());
    throw SystemError(err::kCommStateFailed, Name(), error);
  }
  if (!ApplyLineSettings(*parsed, tty)) throw BasicError(err::kInvalidPropertyValue);
  if (fd_ >= 0) Configure(tty);
  settings_ = settings;
}

std::string TermiosPort::Settings() const { return settings_; }

void TermiosPort::SetPortOpen(bool open) {
  if (open) {
    Open();
  } else {
    Close();
  }
}

bool TermiosPort::PortOpen() const { return fd_ >= 0; }

void TermiosPort::Open() {
  if (fd_ >= 0) throw Detailed(err::kPortAlreadyOpen, Name() + " is open already");
  const std::string device = DevicePath();
  const std::string name = NameOf(device);

  FdGuard fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) throw OpenError(errno, name);
  // The lock first: a device held by another program is left exactly as it is.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) throw OpenError(errno, name);
  termios tty{};
  if (tcgetattr(fd.get(), &tty) != 0) throw OpenError(errno, name);
  ::ioctl(fd.get(), TIOCEXCL);

  // The stored text always parses and names a standard rate: SetSettings
  // refused anything else.
  const std::optional<LineSettings> parsed = ParseLineSettings(settings_);
  if (!parsed || !ApplyLineSettings(*parsed, tty) || !SetAttributes(fd.get(), tty)) {
    ::ioctl(fd.get(), TIOCNXCL);
    throw Detailed(err::kCommStateFailed, name + ": settings " + settings_);
  }
  termios now{};
  if (tcgetattr(fd.get(), &now) != 0 || !DeviceTook(tty, now)) {
    ::ioctl(fd.get(), TIOCNXCL);
    throw Detailed(err::kCommStateFailed, name + ": settings " + settings_ + " refused");
  }
  // Bytes that came in while nobody had the port belong to no exchange.
  tcflush(fd.get(), TCIOFLUSH);

  fd_ = fd.Release();
  device_ = device;
  device_gone_ = false;
  received_.clear();
}

void TermiosPort::Close() noexcept {
  if (fd_ < 0) return;
  // The exclusive mark belongs to the tty, not to this descriptor: a tty kept
  // alive by someone else (a pseudo-terminal's master) would keep it.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  device_.clear();
  device_gone_ = false;
  received_.clear();
}

void TermiosPort::RequireOpen() const {
  if (fd_ < 0) throw BasicError(err::kPortNotOpen);
}

void TermiosPort::Configure(const ::termios& wanted) {
  termios before{};
  if (tcgetattr(fd_, &before) != 0 || !SetAttributes(fd_, wanted)) {
    const int error = errno;
    if (DeviceGoneErrno(error)) throw DeviceGoneError(Name());
    throw SystemError(err::kCommStateFailed, Name(), error);
  }
  // tcsetattr succeeds when any part of the change was made.
  termios now{};
  if (tcgetattr(fd_, &now) != 0 || !DeviceTook(wanted, now)) {
    tcsetattr(fd_, TCSANOW, &before);
    throw BasicError(err::kInvalidPropertyValue);
  }
}

void TermiosPort::Pull() {
  uint8_t chunk[4096];
  while (received_.size() < kMaxHeldBytes) {
    const size_t room = std::min(sizeof chunk, kMaxHeldBytes - received_.size());
    const ssize_t n = ::read(fd_, chunk, room);
    if (n > 0) {
      received_.insert(received_.end(), chunk, chunk + n);
      continue;
    }
    if (n == 0) {
      device_gone_ = true;
      return;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return;
    if (DeviceGoneErrno(error)) {
      device_gone_ = true;
      return;
    }
    throw SystemError(err::kPortReadFailed, Name(), error);
  }
}

int16_t TermiosPort::InBufferCount() {
  RequireOpen();
  Pull();
  if (device_gone_) throw DeviceGoneError(Name());
  return static_cast<int16_t>(std::min<size_t>(received_.size(), INT16_MAX));
}

void TermiosPort::SetInBufferCount(int16_t count) {
  if (count != 0) throw BasicError(err::kInvalidPropertyValue);
  received_.clear();
  // A closed port has nothing to discard; a transfer empties the buffers
  // before it opens the port.
  if (fd_ >= 0 && tcflush(fd_, TCIFLUSH) != 0) {
    const int error = errno;
    if (DeviceGoneErrno(error)) throw DeviceGoneError(Name());
    throw SystemError(err::kPortReadFailed, Name(), error);
  }
}

void TermiosPort::SetOutBufferCount(int16_t count) {
  if (count != 0) throw BasicError(err::kInvalidPropertyValue);
  if (fd_ >= 0 && tcflush(fd_, TCOFLUSH) != 0) {
    const int error = errno;
    if (DeviceGoneErrno(error)) throw DeviceGoneError(Name());
    throw SystemError(err::kPortWriteFailed, Name(), error);
  }
}

void TermiosPort::SetInputLen(int16_t length) {
  if (length < 0) throw BasicError(err::kInvalidPropertyValue);
  input_len_ = length;
}

int16_t TermiosPort::InputLen() const { return input_len_; }

Bytes TermiosPort::Input() {
  RequireOpen();
  Pull();
  // Bytes that came before the device went away are still handed out.
  if (device_gone_ && received_.empty()) throw DeviceGoneError(Name());
  const size_t take = input_len_ == 0 ? received_.size()
                                      : std::min<size_t>(received_.size(), input_len_);
  Bytes bytes(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(take));
  received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(take));
  return bytes;
}

void TermiosPort::Output(std::span<const uint8_t> bytes) {
  RequireOpen();
  const auto deadline = Clock::now() + kWriteLimit;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    const int error = n < 0 ? errno : EAGAIN;
    if (error == EINTR) continue;
    if (DeviceGoneErrno(error)) {
      device_gone_ = true;
      throw DeviceGoneError(Name());
    }
    if (error != EAGAIN && error != EWOULDBLOCK) {
      throw SystemError(err::kPortWriteFailed, Name(), error);
    }
    const int timeout = PollTimeout(deadline);
    if (timeout == 0) {
      throw Detailed(err::kPortWriteFailed,
                     Name() + ": " + std::to_string(bytes.size() - done) + " bytes not taken");
    }
    pollfd entry{fd_, POLLOUT, 0};
    if (::poll(&entry, 1, timeout) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      device_gone_ = true;
      throw DeviceGoneError(Name());
    }
  }
}

void TermiosPort::SetInputMode(int16_t mode) {
  // 0 text, 1 binary; input is handed out as bytes either way.
  if (mode != 0 && mode != 1) throw BasicError(err::kInvalidPropertyValue);
  input_mode_ = mode;
}

int16_t TermiosPort::InputMode() const { return input_mode_; }

void TermiosPort::SetInBufferSize(int16_t size) {
  if (size <= 0) throw BasicError(err::kInvalidPropertyValue);
  in_buffer_size_ = size;
}

int16_t TermiosPort::InBufferSize() const { return in_buffer_size_; }

void TermiosPort::SetOutBufferSize(int16_t size) {
  if (size <= 0) throw BasicError(err::kInvalidPropertyValue);
  out_buffer_size_ = size;
}

int16_t TermiosPort::OutBufferSize() const { return out_buffer_size_; }

void TermiosPort::SetRThreshold(int16_t threshold) {
  if (threshold < 0) throw BasicError(err::kInvalidPropertyValue);
  r_threshold_ = threshold;
}

void TermiosPort::Drain() {
  RequireOpen();
  // tcdrain has no time limit of its own; a line held by flow control
  // would hang it, and no flow control is set, so it ends at line speed.
  if (tcdrain(fd_) != 0 && errno != EINTR) {
    const int error = errno;
    if (DeviceGoneErrno(error)) throw DeviceGoneError(Name());
    throw SystemError(err::kPortWriteFailed, Name(), error);
  }
}

void TermiosPort::AwaitInput(std::chrono::milliseconds limit) {
  if (limit.count() <= 0) return;
  // Nothing can come, or nothing more can be taken in: sleep, so that the
  // caller's wait does not spin.
  if (fd_ < 0 || received_.size() >= kMaxHeldBytes) {
    std::this_thread::sleep_for(limit);
    return;
  }
  // The next InBufferCount reports it.
  if (device_gone_) return;
  // Bytes already pulled do not wake poll(): it blocks until new ones come.
  const auto deadline = Clock::now() + limit;
  while (true) {
    const int timeout = PollTimeout(deadline);
    if (timeout == 0) return;
    pollfd entry{fd_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeout);
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) device_gone_ = true;
    return;
  }
}

std::string TermiosPort::DevicePath() const {
  return device_path_.empty() ? SerialDevicePath(comm_port_) : device_path_;
}

std::string TermiosPort::NameOf(const std::string& device) const {
  if (!device_path_.empty()) return device;
  return "COM" + std::to_string(comm_port_) + ": " + device;
}

std::string TermiosPort::Name() const { return NameOf(fd_ >= 0 ? device_ : DevicePath()); }

void TermiosPort::SetDevicePath(std::string path) { device_path_ = std::move(path); }

}  // namespace tallygate
