// Start-up picture download: a start frame, then the 512 picture bytes in 32
// frames of 16, each answered before the next goes out. Frames carry no block
// number, so the terminal tells blocks apart only by their order.
//
// Unlike every other member, this one lets its errors reach the caller, and
// it leaves the serial port closed when it ends.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/connect/picture_file.h"
#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/connect/text_file.h"
#include "link/transport/wait.h"
#include "tallygate/basic_convert.h"

namespace tallygate {
namespace {

using Block = PictureBlock;

// Both frames go out in one 21-byte buffer, zeros after the frame: the
// terminal reads as far as the length byte says.
constexpr size_t kWireBufferSize = 21;
constexpr uint8_t kStartMarker = 0x55;

// The first answer byte must come within a second. The rest of an answer, at
// most 5 bytes, follows within a few character times: it is awaited while
// bytes keep coming, so that its tail cannot pass for the next block's answer.
constexpr int kAnswerMaxBytes = 5;
constexpr double kAnswerGapSeconds = 0.02;

// The address as decimal text (blanks, a fraction or &H allowed, as any
// number handed over as text): "Type mismatch" when it is no number,
// "Overflow" outside 0 to 255.
uint8_t AddressFromText(const std::string& text) {
  const std::optional<double> number = ParseNumber(text);
  if (!number) throw BasicError(err::kTypeMismatch);
  return RoundToByte(*number);
}

// Closes the port however the download ends.
class PortCloser {
 public:
  explicit PortCloser(SerialPort& port) : port_(port) {}
  ~PortCloser() {
    try {
      if (port_.PortOpen()) port_.SetPortOpen(false);
    } catch (const BasicError&) {
      // The download's own outcome or error is what the caller needs.
    }
  }
  PortCloser(const PortCloser&) = delete;
  PortCloser& operator=(const PortCloser&) = delete;

 private:
  SerialPort& port_;
};

// The terminal's answer to one frame, empty when none began within the wait.
Bytes AwaitAnswer(FrameExchange& exchange, SerialPort& port, double wait_seconds) {
  if (!exchange.AwaitSerialBytes(1, wait_seconds)) return {};
  int waiting = port.InBufferCount();
  while (waiting < kAnswerMaxBytes && exchange.AwaitSerialBytes(waiting + 1, kAnswerGapSeconds)) {
    waiting = port.InBufferCount();
  }
  return exchange.ReadSerial(kAnswerMaxBytes);
}

}  // namespace

// The whole file is read before anything is sent, so a short file sends
// nothing.
std::vector<PictureBlock> ReadPictureBlocks(const std::string& path) {
  // fopen would stop at a NUL and open another file.
  if (path.find('\0') != std::string::npos) throw BasicError(err::kBadFileNameOrNumber);
  const std::vector<std::string> lines = ReadTextLines(path, kPictureBlockCount);
  if (lines.size() < kPictureBlockCount) throw BasicError(err::kInputPastEndOfFile);
  std::vector<PictureBlock> blocks;
  blocks.reserve(kPictureBlockCount);
  for (const std::string& line : lines) {
    const std::vector<uint8_t> bytes = LenientHexPairs(line, kPictureBlockBytes);
    PictureBlock block{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kPictureBlockBytes), block.begin());
    blocks.push_back(block);
  }
  return blocks;
}

bool Connect_v70::SendPictureMach(const std::string& varAddr, const std::string& BmpFilePath) {
  ThreadLink::CallScope scope(state_->link);
  if (!scope.entered()) return false;

  const std::vector<Block> blocks = ReadPictureBlocks(BmpFilePath);

  // A fresh port for the download: whatever an earlier command left in its
  // buffers goes.
  SerialPort& port = state_->link.Port();
  PortCloser closer(port);
  if (port.PortOpen()) port.SetPortOpen(false);
  port.SetRThreshold(2);
  port.SetInBufferCount(0);
  port.SetOutBufferCount(0);
  port.SetInputMode(1);
  port.SetPortOpen(true);

  const uint8_t address = AddressFromText(varAddr);

  // The serial bus whatever the mode. Each transfer discards what is waiting
  // first; nothing is discarded after a write, which would cut off the bytes
  // that have not left yet.
  FrameExchange exchange(state_->link, 0);
  std::array<uint8_t, kWireBufferSize> buffer{};

  buffer[0] = static_cast<uint8_t>(command::kPictureStart.frame_length);
  buffer[1] = command::kPictureStart.code;
  buffer[2] = kStartMarker;
  SealFrame(address, buffer, command::kPictureStart.frame_length);
  exchange.WriteSerialTransfer(address, buffer, true);
  // The start frame's answer only has to begin in time.
  if (AwaitAnswer(exchange, port, command::kPictureStart.timeout_seconds).empty()) return false;
  Pause(1);

  for (const Block& block : blocks) {
    buffer[0] = static_cast<uint8_t>(command::kPictureData.frame_length);
    buffer[1] = command::kPictureData.code;
    std::copy(block.begin(), block.end(), buffer.begin() + 2);
    SealFrame(address, buffer, command::kPictureData.frame_length);
    exchange.WriteSerialTransfer(address, buffer, true);
    const Bytes answer = AwaitAnswer(exchange, port, command::kPictureData.timeout_seconds);
    if (answer.empty() || answer[0] != address) return false;
  }
  return true;
}

}  // namespace tallygate
