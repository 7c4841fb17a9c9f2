#include "link/protocol/exchange.h"

#include <cstdio>

#include "link/transport/line_error.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// The wait's failure in the terms of the exchange: a timeout becomes "no
// reply from terminal N within T".
Error WaitFailure(const Error& error, uint8_t address, double timeout_seconds) {
  if (error.code() == ErrorCode::kNoReply) {
    return TerminalError(ErrorCode::kNoReply, address,
                         "no reply within " + Seconds(timeout_seconds) + " (" + error.message() +
                             ")");
  }
  return TerminalError(error.code(), address, error.message());
}

}  // namespace

Error TerminalError(ErrorCode code, uint8_t address, const std::string& text) {
  return Error(code, "terminal " + std::to_string(address) + ": " + text);
}

Status CheckReply(std::span<const uint8_t> reply, int reply_length, bool check_address,
                  uint8_t address) {
  if (reply_length < 1 || reply.size() < static_cast<size_t>(reply_length)) {
    return TerminalError(ErrorCode::kNoReply, address,
                         "short reply (" + std::to_string(reply.size()) + " of " +
                             std::to_string(reply_length) + " bytes)");
  }
  if (check_address && reply[0] != address) {
    return TerminalError(ErrorCode::kOtherAddress, address,
                         "reply from address " + std::to_string(reply[0]));
  }
  const auto n = static_cast<size_t>(reply_length);
  const uint8_t expected = XorOf(reply.first(n - 1));
  if (expected != reply[n - 1]) {
    return TerminalError(ErrorCode::kBadCheck, address,
                         "bad check byte " + Hex(reply[n - 1]) + ", expected " + Hex(expected));
  }
  return {};
}

Status FrameExchange::ExchangeFrame(uint8_t address, Bytes& frame, int frame_length,
                                    double timeout_seconds, int reply_length, Bytes& reply,
                                    bool check_address) {
  if (Status sent = SendFrame(address, frame, frame_length); !sent) return sent;
  return AwaitReply(address, timeout_seconds, reply_length, reply, check_address, false);
}

Status CheckEcho(std::span<const uint8_t> reply, const CommandSpec& spec, uint8_t address) {
  if (reply.size() > 2 && reply[2] == spec.code) return {};
  return TerminalError(ErrorCode::kWrongEcho, address,
                       "reply echoes command " + Hex(reply.size() > 2 ? reply[2] : 0) +
                           ", not " + Hex(spec.code));
}

Status FrameExchange::ExchangeEchoed(uint8_t address, const CommandSpec& spec, Bytes& frame,
                                     Bytes& reply, std::optional<double> wait_seconds) {
  Status status = Exchange(address, spec, frame, reply, wait_seconds);
  if (!status) return status;
  return CheckEcho(reply, spec, address);
}

Status FrameExchange::SendFrame(uint8_t address, Bytes& frame, int frame_length) {
  try {
    SealFrame(address, frame, frame_length);
  } catch (const BasicError&) {
    return TerminalError(ErrorCode::kInvalidArgument, address, "frame shorter than its length");
  }
  const auto wire = std::span<const uint8_t>(frame).first(static_cast<size_t>(frame_length));
  if (Status sent = transport_.Send(address, wire, true); !sent) {
    return TerminalError(sent.error().code(), address, sent.error().message());
  }
  return {};
}

Status FrameExchange::ReceiveFrame(uint8_t address, double timeout_seconds, int reply_length,
                                   Bytes& reply) {
  return AwaitReply(address, timeout_seconds, reply_length, reply, true, true);
}

Status FrameExchange::AwaitReply(uint8_t address, double timeout_seconds, int reply_length,
                                 Bytes& reply, bool check_address, bool drop_partial) {
  const auto count = static_cast<size_t>(reply_length);
  if (Status waited = transport_.AwaitBytes(count, timeout_seconds, control_); !waited) {
    if (drop_partial && waited.error().code() == ErrorCode::kNoReply) {
      transport_.DropPartialReply();
    }
    return WaitFailure(waited.error(), address, timeout_seconds);
  }
  try {
    reply = transport_.Read(count);
  } catch (const BasicError& error) {
    return TerminalError(LineError(error).code(), address, error.description());
  }
  return CheckReply(reply, reply_length, check_address, address);
}

}  // namespace tallygate
