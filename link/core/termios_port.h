// A serial port on a Linux tty device (a real port, a USB RS-485 adapter or a
// pseudo-terminal), through termios.
#ifndef TALLYGATE_LINK_CORE_TERMIOS_PORT_H_
#define TALLYGATE_LINK_CORE_TERMIOS_PORT_H_

#include "link/core/serial_port.h"

namespace tallygate {

class TermiosPort final : public SerialPort {
 public:
  TermiosPort();
  ~TermiosPort() override;
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
  void AwaitInput(std::chrono::milliseconds limit) override;

 private:
  int fd_ = -1;
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

#endif  // TALLYGATE_LINK_CORE_TERMIOS_PORT_H_
