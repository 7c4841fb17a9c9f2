// Start-up picture download: a start frame, then the 512 picture bytes in 32
// frames of 16, each answered before the next goes out. Frames carry no block
// number, so the terminal tells blocks apart only by their order.
#include <array>

#include "link/terminal/commands.h"

namespace tallygate::commands {
namespace {

// Both frames go out in one 21-byte buffer, zeros after the frame: the
// terminal reads as far as the length byte says.
constexpr size_t kWireBufferSize = 21;
constexpr uint8_t kStartMarker = 0x55;

// The first answer byte must come within a second. The rest of an answer, at
// most 5 bytes, follows within a few character times: it is awaited while
// bytes keep coming, so that its tail cannot pass for the next block's answer.
constexpr size_t kAnswerMaxBytes = 5;
constexpr double kAnswerGapSeconds = 0.02;

// The terminal's answer to one frame, or why none began within the wait.
Result<Bytes> AwaitAnswer(FrameExchange& exchange, uint8_t address, double wait_seconds) {
  Transport& transport = exchange.transport();
  if (Status first = transport.AwaitBytes(1, wait_seconds, exchange.control()); !first) {
    return TerminalError(first.error().code(), address,
                         first.error().code() == ErrorCode::kNoReply ? "no answer to a picture frame"
                                                                    : first.error().message());
  }
  size_t waiting = transport.Available();
  while (waiting < kAnswerMaxBytes &&
         transport.AwaitBytes(waiting + 1, kAnswerGapSeconds, exchange.control())) {
    waiting = transport.Available();
  }
  return transport.Read(kAnswerMaxBytes);
}

Status SendBuffer(FrameExchange& exchange, uint8_t address, std::span<const uint8_t> buffer) {
  if (Status sent = exchange.transport().Send(address, buffer, true); !sent) {
    return TerminalError(sent.error().code(), address, sent.error().message());
  }
  return {};
}

}  // namespace

Status SendPicture(FrameExchange& exchange, uint8_t address,
                   std::span<const std::array<uint8_t, 16>> blocks) {
  // Each transfer discards what is waiting first; nothing is discarded after
  // a write, which would cut off the bytes that have not left yet.
  std::array<uint8_t, kWireBufferSize> buffer{};
  buffer[0] = static_cast<uint8_t>(command::kPictureStart.frame_length);
  buffer[1] = command::kPictureStart.code;
  buffer[2] = kStartMarker;
  SealFrame(address, buffer, command::kPictureStart.frame_length);
  if (Status sent = SendBuffer(exchange, address, buffer); !sent) return sent;
  // The start frame's answer only has to begin in time.
  const auto started = AwaitAnswer(exchange, address, command::kPictureStart.timeout_seconds);
  if (!started) return started.error();
  if (started->empty()) return TerminalError(ErrorCode::kNoReply, address, "no answer to the start");
  Pause(1);

  int block_number = 0;
  for (const std::array<uint8_t, 16>& block : blocks) {
    ++block_number;
    buffer[0] = static_cast<uint8_t>(command::kPictureData.frame_length);
    buffer[1] = command::kPictureData.code;
    std::copy(block.begin(), block.end(), buffer.begin() + 2);
    SealFrame(address, buffer, command::kPictureData.frame_length);
    if (Status sent = SendBuffer(exchange, address, buffer); !sent) return sent;
    const auto answer = AwaitAnswer(exchange, address, command::kPictureData.timeout_seconds);
    if (!answer) return answer.error();
    if (answer->empty() || (*answer)[0] != address) {
      return TerminalError(ErrorCode::kOtherAddress, address,
                           "block " + std::to_string(block_number) + " answered by another address");
    }
  }
  return {};
}

}  // namespace tallygate::commands
