// The exchange routines: the one way commands talk to a terminal.
//
// Serial bus: discard waiting bytes, write the address byte under the address
// line settings, pause 1 ms, write the frame under the data line settings,
// then poll for the reply. TCP: the same bytes over the connection, with no
// framing of its own. Replies are read as fixed-size units and validated by
// ValidReply (frame.h).
//
// The routines never throw: a transport error, a timeout or a bad reply is a
// false result.
#ifndef TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_
#define TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_

#include <cstdint>
#include <span>

#include "link/connect/thread_link.h"
#include "link/protocol/command_table.h"
#include "link/protocol/frame.h"

namespace tallygate {

class FrameExchange {
 public:
  // `mode` 0 uses the thread's serial port, any other value its connection.
  FrameExchange(ThreadLink& link, int16_t mode) : link_(link), mode_(mode) {}

  // Seals `frame` with its check byte, sends address and frame, waits up to
  // `timeout_seconds` for `reply_length` bytes and reads them into `reply`.
  // True when the reply passes ValidReply. Over TCP the bytes already waiting
  // are discarded before sending, so a late reply to an earlier command can
  // never pass for this one's.
  bool ExchangeFrame(uint8_t address, Bytes& frame, int frame_length, float timeout_seconds,
                     int reply_length, Bytes& reply, bool check_address);

  // ExchangeFrame with the wait, reply length and address test of `spec`.
  bool Exchange(uint8_t address, const CommandSpec& spec, Bytes& frame, Bytes& reply) {
    return ExchangeFrame(address, frame, spec.frame_length, spec.timeout_seconds,
                         spec.reply_length, reply, spec.check_address);
  }

  // Seals and sends `frame`; waits for nothing. False when it could not be
  // sent (TCP not connected, a transport error).
  bool SendFrame(uint8_t address, Bytes& frame, int frame_length);

  // Sends nothing; waits for one reply of `reply_length` bytes and validates
  // it with the address test on. Bytes beyond the reply stay for the next
  // call. On a serial timeout the partial bytes are read and discarded.
  bool ReceiveFrame(uint8_t address, float timeout_seconds, int reply_length, Bytes& reply);

  // Building blocks for the commands that drive the transport themselves.
  // They throw BasicError on transport errors.

  // The serial transfer: discard received bytes (and unsent ones when
  // `discard_output`), address settings, open if closed, address byte, 1 ms,
  // data settings, the wire bytes.
  void WriteSerialTransfer(uint8_t address, std::span<const uint8_t> wire_bytes,
                           bool discard_output);
  // The TCP transfer: false when not connected, else discard waiting bytes,
  // send the address byte, 1 ms, the wire bytes.
  bool WriteTcpTransfer(uint8_t address, std::span<const uint8_t> wire_bytes);

  // Reply waits on either transport: true when `count` bytes are waiting
  // within `timeout_seconds`.
  bool AwaitSerialBytes(int count, double timeout_seconds);
  bool AwaitSocketBytes(int count, double timeout_seconds);

  // Reads up to `count` waiting bytes.
  Bytes ReadSerial(int count);
  Bytes ReadSocket(int count);

  // Discards the bytes waiting on the transport in use.
  void DiscardReceived();

  bool serial() const { return mode_ == 0; }

 private:
  ThreadLink& link_;
  int16_t mode_;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_
