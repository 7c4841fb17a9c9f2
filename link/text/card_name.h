// A card-list entry's name: eight bytes in the terminal's code page, as UTF-8.
#ifndef TALLYGATE_LINK_TEXT_CARD_NAME_H_
#define TALLYGATE_LINK_TEXT_CARD_NAME_H_

#include <cstdint>
#include <span>
#include <string>

namespace tallygate {

// The name's eight bytes as four codes, high byte first: a code below 256 is
// the character of its low byte (0x00 a NUL), any other a two-byte character
// of the terminal's code page. On `locale_class` 2 the name is trimmed of
// spaces and each GB2312 code mapped to Big5 through the code tables. A code
// that is no character (or has no Big5 counterpart) becomes U+FFFD, and so
// do CR and LF, which would break the entry's line in two.
std::string DecodeCardName(std::span<const uint8_t, 8> name, int16_t locale_class);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TEXT_CARD_NAME_H_
