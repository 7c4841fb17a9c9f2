#include "link/transport/transport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tallygate {
namespace {

// TALLYGATE_TRACE=1 traces every line of the process. Looked up at each
// block (a scan of a short list), so that setting it takes effect at once.
bool TraceToStandardError() {
  const char* value = std::getenv("TALLYGATE_TRACE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

std::string TraceLine(TraceDirection direction, std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string line(1, direction == TraceDirection::kSent ? '>' : '<');
  line.reserve(1 + 3 * bytes.size());
  for (uint8_t byte : bytes) {
    line += ' ';
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
  }
  return line;
}

Bytes Transport::Read(size_t count) {
  Bytes bytes = ReadWaiting(count);
  if (!bytes.empty()) Trace(TraceDirection::kReceived, bytes);
  return bytes;
}

void Transport::TraceSent(std::span<const uint8_t> bytes) const {
  Trace(TraceDirection::kSent, bytes);
}

void Transport::Trace(TraceDirection direction, std::span<const uint8_t> bytes) const {
  if (trace_) trace_(direction, bytes, std::chrono::steady_clock::now());
  if (TraceToStandardError()) {
    const std::string line = TraceLine(direction, bytes) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

}  // namespace tallygate
