// Bytes as text of hexadecimal digits, the form in which collected records,
// card numbers and packed-decimal fields reach the caller.
#ifndef TALLYGATE_LINK_PROTOCOL_HEX_TEXT_H_
#define TALLYGATE_LINK_PROTOCOL_HEX_TEXT_H_

#include <cstdint>
#include <span>
#include <string>

namespace tallygate {

// Two upper-case hexadecimal digits per byte, in order, with no separator:
// 0x05 0xAB give "05AB"; no bytes give "".
std::string BytesToHex(std::span<const uint8_t> bytes);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_PROTOCOL_HEX_TEXT_H_
