// A serial port on a Linux tty device (a real port, a USB RS-485 adapter or a
// pseudo-terminal), through termios.
//
// The device is COM<CommPort> as SerialDevicePath names it. Opening takes the
// device for this program alone: an exclusive-open mark (TIOCEXCL) keeps
// other ordinary users out, and an advisory lock (flock) tells a second
// program, or a second port object, that the device is in use.
//
// Received bytes are pulled from the device into a buffer of the port's own,
// so a wait can sleep in poll() until bytes beyond those already counted
// arrive. Once the device has gone away (a USB adapter pulled out, the far
// side of a pseudo-terminal closed) InBufferCount and Input throw instead of
// reporting "nothing yet", so that waits end at once; the port stays open,
// and unusable, until it is closed.
#ifndef TALLYGATE_LINK_TRANSPORT_TERMIOS_PORT_H_
#define TALLYGATE_LINK_TRANSPORT_TERMIOS_PORT_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "link/transport/line_settings.h"
#include "link/transport/serial_port.h"

struct termios;

namespace tallygate {

// Turns `tty` into a raw, 8-bit-clean line with these settings: no flow
// control, receiver on, modem lines ignored, and no parity check on input, so
// that characters with either value of the ninth bit are received. Mark and
// space parity use CMSPAR. Returns false, leaving `tty` as it was, when the
// rate is not a standard termios rate (50 to 4000000 bit/s).
bool ApplyLineSettings(const LineSettings& settings, ::termios& tty);

// Ends the description of the error a port throws once its device has gone.
inline constexpr std::string_view kDeviceGoneText = "has gone away";

class TermiosPort final : public SerialPort {
 public:
  TermiosPort();
  ~TermiosPort() override;  // closes the port if open
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  void SetCommPort(int16_t port) override;
  int16_t CommPort() const override;
  void SetSettings(const std::string& settings) override;
  std::string Settings() const override;
  void SetPortOpen(bool open) override;
  bool PortOpen() const override;
  int16_t InBufferCount() override;
  void SetInBufferCount(int16_t count) override;
  void SetOutBufferCount(int16_t count) override;
  void SetInputLen(int16_t length) override;
  int16_t InputLen() const override;
  Bytes Input() override;
  void Output(std::span<const uint8_t> bytes) override;
  void SetInputMode(int16_t mode) override;
  int16_t InputMode() const override;
  void SetInBufferSize(int16_t size) override;
  int16_t InBufferSize() const override;
  void SetOutBufferSize(int16_t size) override;
  int16_t OutBufferSize() const override;
  void SetRThreshold(int16_t threshold) override;
  void Drain() override;
  void AwaitInput(std::chrono::milliseconds limit) override;

  // Opens this device from now on instead of the one CommPort names (a
  // terminal line opened by device path); empty goes back to CommPort.
  void SetDevicePath(std::string path);

  // The most received bytes held by the port before the device's own buffer
  // has to keep the rest.
  static constexpr size_t kMaxHeldBytes = 64 * 1024;
  // How long Output waits for room in the device's transmit buffer.
  static constexpr std::chrono::milliseconds kWriteLimit{2000};

 private:
  void Open();
  void Close() noexcept;
  void RequireOpen() const;
  // Applies `wanted` after the bytes already written have left; checks that
  // the device took the rate, the stop bits and the kind of parity, and
  // otherwise puts back what it had.
  void Configure(const ::termios& wanted);
  // Moves what the device has received into received_.
  void Pull();
  // "COM3: /dev/ttyS2" (or the device path alone), for error descriptions.
  std::string Name() const;
  std::string DevicePath() const;
  std::string NameOf(const std::string& device) const;

  int fd_ = -1;
  std::string device_;  // the device path fd_ was opened from
  std::string device_path_;  // set by SetDevicePath
  bool device_gone_ = false;
  int16_t comm_port_ = 1;
  std::string settings_ = "9600,n,8,1";
  int16_t input_len_ = 0;
  int16_t input_mode_ = 0;
  int16_t in_buffer_size_ = 1024;
  int16_t out_buffer_size_ = 512;
  int16_t r_threshold_ = 0;
  Bytes received_;  // bytes taken from the device, not yet read by Input
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_TERMIOS_PORT_H_
