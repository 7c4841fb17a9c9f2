#include "sim/model/gb_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace tallygate::sim {
namespace {

// One iconv descriptor for the process; the simulator has one thread.
iconv_t Converter() {
  static const iconv_t converter = iconv_open("UTF-8", "CP936");
  return converter;
}

std::string Escaped(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

// Converts one run of non-zero bytes, escaping what does not decode.
void AppendRun(std::span<const uint8_t> run, std::string& out) {
  const iconv_t converter = Converter();
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    for (uint8_t byte : run) out += byte < 0x80 ? std::string(1, static_cast<char>(byte)) : Escaped(byte);
    return;
  }
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(run.data()));
  size_t in_left = run.size();
  while (in_left > 0) {
    char buffer[256];
    char* at = buffer;
    size_t out_left = sizeof buffer;
    const size_t done = iconv(converter, &in, &in_left, &at, &out_left);
    out.append(buffer, static_cast<size_t>(at - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL (a lead byte at the end): show the byte, go on.
    out += Escaped(static_cast<uint8_t>(*in));
    ++in;
    --in_left;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace

std::string GbToUtf8(std::span<const uint8_t> bytes) {
  size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0) --end;
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i <= end; ++i) {
    if (i < end && bytes[i] != 0) continue;
    AppendRun(bytes.subspan(start, i - start), out);
    if (i < end) out += "\\0";
    start = i + 1;
  }
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace tallygate::sim
