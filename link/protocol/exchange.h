// The exchange routines: the one way commands talk to a terminal.
//
// A command is the terminal's address byte, then its frame (frame.h), sent
// through a Transport; the reply is read as a fixed-size unit and checked:
// long enough, byte 0 the terminal's address (where the command's reply
// carries it), the last byte the XOR of the others. Every failure comes back
// as an Error that says which of these went wrong, or what the line did.
#ifndef TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_
#define TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_

#include <cstdint>
#include <optional>
#include <span>

#include "link/protocol/command_table.h"
#include "link/protocol/frame.h"
#include "link/transport/transport.h"
#include "tallygate/result.h"

namespace tallygate {

class FrameExchange {
 public:
  explicit FrameExchange(Transport& transport, WaitControl control = {})
      : transport_(transport), control_(std::move(control)) {}

  // Seals `frame` with its check byte, sends address and frame, waits up to
  // `timeout_seconds` for `reply_length` bytes and reads them into `reply`,
  // then checks them (address only when `check_address`).
  Status ExchangeFrame(uint8_t address, Bytes& frame, int frame_length, double timeout_seconds,
                       int reply_length, Bytes& reply, bool check_address);

  // ExchangeFrame with the reply length and address test of `spec`, and its
  // wait unless `wait_seconds` is given.
  Status Exchange(uint8_t address, const CommandSpec& spec, Bytes& frame, Bytes& reply,
                  std::optional<double> wait_seconds = std::nullopt) {
    return ExchangeFrame(address, frame, spec.frame_length,
                         wait_seconds.value_or(spec.timeout_seconds), spec.reply_length, reply,
                         spec.check_address);
  }

  // The same, and the reply's byte 2 must echo the command's code.
  Status ExchangeEchoed(uint8_t address, const CommandSpec& spec, Bytes& frame, Bytes& reply,
                        std::optional<double> wait_seconds = std::nullopt);

  // Seals and sends `frame`; waits for nothing.
  Status SendFrame(uint8_t address, Bytes& frame, int frame_length);

  // Sends nothing; waits for one reply of `reply_length` bytes and checks it
  // with the address test on. Bytes beyond the reply stay for the next call.
  // On a serial timeout the partial bytes are taken and dropped.
  Status ReceiveFrame(uint8_t address, double timeout_seconds, int reply_length, Bytes& reply);

  Transport& transport() { return transport_; }
  const WaitControl& control() const { return control_; }

 private:
  // Waits up to `timeout_seconds` for `reply_length` bytes, reads and checks
  // them. `drop_partial`: a timeout drops what part of a reply came, so that
  // it cannot pass for the start of the next one.
  Status AwaitReply(uint8_t address, double timeout_seconds, int reply_length, Bytes& reply,
                    bool check_address, bool drop_partial);

  Transport& transport_;
  WaitControl control_;
};

// The reply test: at least `reply_length` bytes, byte 0 equal to the address
// when `check_address`, and the last byte the XOR of the others.
Status CheckReply(std::span<const uint8_t> reply, int reply_length, bool check_address,
                  uint8_t address);

// The echo test: byte 2 of a valid reply is the command's code.
Status CheckEcho(std::span<const uint8_t> reply, const CommandSpec& spec, uint8_t address);

// An Error about terminal `address`: "terminal 3: " and the text.
Error TerminalError(ErrorCode code, uint8_t address, const std::string& text);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_EXCHANGE_H_
