#include "collector/base/field_text.h"

#include <cstdint>
#include <cstdio>

namespace tallygate::collector {
namespace {

// The control character starting at text[i]: its length in bytes (0 for
// none) and its code. C1 controls are two bytes in UTF-8, C2 80 to C2 9F.
size_t ControlAt(std::string_view text, size_t i, unsigned& code) {
  const auto byte = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
  if (byte(i) < 0x20 || byte(i) == 0x7F) {
    code = byte(i);
    return 1;
  }
  if (byte(i) == 0xC2 && i + 1 < text.size() && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) {
    code = byte(i + 1);
    return 2;
  }
  return 0;
}

std::string CodeText(const char* format, unsigned code) {
  char text[8];
  std::snprintf(text, sizeof text, format, code);
  return text;
}

}  // namespace

std::string_view TrimmedField(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string ControlCharacterIn(std::string_view text) {
  unsigned code = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (ControlAt(text, i, code) > 0) return CodeText("U+%04X", code);
  }
  return "";
}

std::string ControlsWritten(std::string_view text) {
  std::string written;
  unsigned code = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (const size_t length = ControlAt(text, i, code); length > 0) {
      written += CodeText("\\u%04x", code);
      i += length - 1;
    } else {
      written += text[i];
    }
  }
  return written;
}

}  // namespace tallygate::collector
