// The serial bus as a transport.
//
// The terminals tell an address byte from a frame byte by the ninth bit: the
// address byte goes out under the address line settings ("19200,n,8,2": the
// second stop bit is a ninth bit of 1), the frame under the data settings
// ("19200,s,8,1": space parity, a ninth bit of 0). The port is switched
// between them for every command, after the bytes already written have left.
//
// The port is borrowed: the transport drives it and never closes it. A port
// that is closed when a command is sent is opened first.
#ifndef TALLYGATE_LINK_TRANSPORT_SERIAL_BUS_TRANSPORT_H_
#define TALLYGATE_LINK_TRANSPORT_SERIAL_BUS_TRANSPORT_H_

#include <string>

#include "link/transport/serial_port.h"
#include "link/transport/transport.h"

namespace tallygate {

inline constexpr const char* kBusAddressSettings = "19200,n,8,2";
inline constexpr const char* kBusDataSettings = "19200,s,8,1";

class SerialBusTransport final : public Transport {
 public:
  SerialBusTransport(SerialPort& port, std::string address_settings, std::string data_settings,
                     std::string name);

  Status Send(uint8_t address, std::span<const uint8_t> frame, bool discard_unsent) override;
  Status AwaitBytes(size_t count, double wait_seconds, const WaitControl& control) override;
  size_t Available() override;
  void DiscardInput() override;
  // Takes the bytes of a reply that did not complete, so that the next unit
  // of a page starts on a clean buffer.
  void DropPartialReply() override;
  Status Drain() override;
  bool serial() const override { return true; }
  std::string Name() const override { return name_; }

  SerialPort& port() { return port_; }

  // Lets the port's own errors (BasicError) through to the caller instead of
  // turning them into results: the start-up picture download of the
  // Connect_v70 object reports them that way.
  void ThrowLineErrors() { throw_line_errors_ = true; }

 protected:
  Bytes ReadWaiting(size_t count) override;

 private:
  SerialPort& port_;
  std::string address_settings_;
  std::string data_settings_;
  std::string name_;
  bool throw_line_errors_ = false;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_SERIAL_BUS_TRANSPORT_H_
