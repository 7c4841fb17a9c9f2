// Start-up picture download from a picture file (the frames are the
// terminal command's, commands.h).
//
// Unlike every other member, this one lets its errors reach the caller, and
// it leaves the serial port closed when it ends.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tallygate/picture_file.h"
#include "link/connect/text_encodings.h"
#include "link/connect/connect_v70_state.h"
#include "link/connect/text_file.h"
#include "tallygate/basic_convert.h"

namespace tallygate {
namespace {

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

  const std::vector<PictureBlock> blocks = ReadPictureBlocks(BmpFilePath);

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

  // The serial bus whatever the mode; the port's errors reach the caller.
  CallLine line(*state_, CallLine::Bus::kSerial);
  line.ThrowLineErrors();
  return commands::SendPicture(line.exchange(), address, blocks).ok();
}

}  // namespace tallygate
