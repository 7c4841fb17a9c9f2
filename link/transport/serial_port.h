// The serial port as the link logic uses it.
//
// The operations are named after the serial control properties they stand
// for (CommPort, Settings, PortOpen, ...), and there are no others: the
// exchange routines, the object's creation and the commands that drive the
// port themselves need exactly these. A failure is thrown as a BasicError.
//
// Two implementations exist: TermiosPort drives a real device (or a
// pseudo-terminal), and the tests' recording port keeps every operation in
// memory.
#ifndef TALLYGATE_LINK_TRANSPORT_SERIAL_PORT_H_
#define TALLYGATE_LINK_TRANSPORT_SERIAL_PORT_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tallygate {

using Bytes = std::vector<uint8_t>;

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // CommPort: the port number; takes effect at the next open.
  virtual void SetCommPort(int16_t port) = 0;
  virtual int16_t CommPort() const = 0;

  // Settings: "rate,parity,data,stop". Takes effect at once on an open port,
  // after the bytes already written have left. A text that does not parse, or
  // a rate the device refuses, throws "Invalid property value" (380) and
  // leaves the port as it was.
  virtual void SetSettings(const std::string& settings) = 0;
  virtual std::string Settings() const = 0;

  // PortOpen: opening a port that another program holds, or that does not
  // exist, throws; opening an open port throws "Port already open".
  virtual void SetPortOpen(bool open) = 0;
  virtual bool PortOpen() const = 0;

  // InBufferCount: the number of received bytes waiting (at most 32767).
  // Putting 0 discards them; on a closed port that does nothing, since a
  // transfer discards before it opens the port.
  virtual int16_t InBufferCount() = 0;
  virtual void SetInBufferCount(int16_t count) = 0;

  // OutBufferCount put 0: discards bytes not yet sent (nothing on a closed
  // port).
  virtual void SetOutBufferCount(int16_t count) = 0;

  // InputLen: the most bytes the next Input takes; 0 means all waiting.
  virtual void SetInputLen(int16_t length) = 0;
  virtual int16_t InputLen() const = 0;

  // Input: takes the waiting bytes, up to InputLen; the rest stay.
  virtual Bytes Input() = 0;

  // Output: queues all bytes for sending without waiting for them to leave.
  virtual void Output(std::span<const uint8_t> bytes) = 0;

  // Set once at creation; kept for the settings file. Input is always bytes.
  virtual void SetInputMode(int16_t mode) = 0;
  virtual int16_t InputMode() const = 0;
  virtual void SetInBufferSize(int16_t size) = 0;
  virtual int16_t InBufferSize() const = 0;
  virtual void SetOutBufferSize(int16_t size) = 0;
  virtual int16_t OutBufferSize() const = 0;
  // The receive-event threshold; no receive event is handled.
  virtual void SetRThreshold(int16_t threshold) = 0;

  // Waits until every byte written has left the port (bounded: a stuck line
  // throws). A command that awaits no reply uses it before it reports that
  // its frame went out, since the next transfer discards unsent bytes.
  virtual void Drain() = 0;

  // Blocks until more bytes may have arrived, or `limit` has passed. Waits
  // call this between polls of InBufferCount so that they never spin.
  virtual void AwaitInput(std::chrono::milliseconds limit) = 0;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_SERIAL_PORT_H_
