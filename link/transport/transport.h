// The transport interface: what the protocol needs from a line, and nothing
// else. One implementation per kind of line:
//
//   SerialBusTransport  a serial port on an RS-485 bus; it owns the ninth-bit
//                       trick (the address byte and the frame go out under
//                       two line settings)
//   TcpTransport        a TCP connection to one terminal
//
// A transport is used by one thread at a time. Every block of bytes it sends
// or receives goes to its trace (trace.h).
#ifndef TALLYGATE_LINK_TRANSPORT_TRANSPORT_H_
#define TALLYGATE_LINK_TRANSPORT_TRANSPORT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/transport/wait.h"
#include "tallygate/result.h"
#include "tallygate/trace.h"

namespace tallygate {

using Bytes = std::vector<uint8_t>;

class Transport {
 public:
  virtual ~Transport() = default;

  // Discards the bytes received and not yet read, then sends the address
  // byte and, 1 ms later, the frame. On a serial bus `discard_unsent` also
  // drops bytes written earlier that have not left yet. Over TCP a
  // connection that is not up sends nothing and fails with kClosed.
  virtual Status Send(uint8_t address, std::span<const uint8_t> frame, bool discard_unsent) = 0;

  // Waits until at least `count` received bytes wait to be read. Fails with
  // kNoReply when the time is up, kStopped on a stop request, and with the
  // line's own error when no more bytes can come (a connection closed or
  // reset, a device gone).
  virtual Status AwaitBytes(size_t count, double wait_seconds, const WaitControl& control) = 0;

  // The received bytes waiting to be read.
  virtual size_t Available() = 0;

  // Takes up to `count` waiting bytes; the rest stay.
  Bytes Read(size_t count);

  // Discards the bytes waiting now.
  virtual void DiscardInput() = 0;

  // After a reply that did not complete in time: a serial bus takes the
  // partial bytes, so that the next unit of a page starts clean; over TCP
  // they stay (the next command's send discards them).
  virtual void DropPartialReply() = 0;

  // Waits until every byte written has left (a serial port's transmit
  // buffer); nothing to do over TCP.
  virtual Status Drain() = 0;

  // Whether the line is a serial bus (some commands exist only there).
  virtual bool serial() const = 0;

  // "COM2 (/dev/ttyUSB0)", "10.0.0.7:1001": the line, for messages.
  virtual std::string Name() const = 0;

  void SetTrace(TraceCallback trace) { trace_ = std::move(trace); }

 protected:
  virtual Bytes ReadWaiting(size_t count) = 0;
  // Backends call this for every block they send.
  void TraceSent(std::span<const uint8_t> bytes) const;

 private:
  void Trace(TraceDirection direction, std::span<const uint8_t> bytes) const;
  TraceCallback trace_;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_TRANSPORT_H_
