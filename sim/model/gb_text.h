// Terminal text for people: the terminals keep messages and names as
// GB2312/GBK bytes; the simulator shows them as UTF-8.
//
// The decoding is the system's iconv (code page 936), not the link
// library's own tables, so that a fault in the library's conversion shows
// up as a difference instead of being mirrored.
#ifndef TALLYGATE_SIM_MODEL_GB_TEXT_H_
#define TALLYGATE_SIM_MODEL_GB_TEXT_H_

#include <cstdint>
#include <span>
#include <string>

namespace tallygate::sim {

// `bytes` decoded from code page 936 to UTF-8. Trailing zero bytes (the
// fill of a fixed-size field) are left out; a zero byte inside is shown as
// \0 and a byte that starts no valid character as \xHH.
std::string GbToUtf8(std::span<const uint8_t> bytes);

// `text` quoted for a log or status line: "..." with " and \ escaped.
std::string Quoted(const std::string& text);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_GB_TEXT_H_
