// Text on the wire. The library's callers hand it UTF-8; terminals keep
// names and messages in a double-byte code page: CP950 (Big5) on a
// Traditional-Chinese system, CP936 (GBK, a superset of GB2312) on any other.
// Every conversion between the two goes through here.
//
// Conversions are done by the C library's iconv. Its descriptors are opened
// once per thread and kept, because a card-list collection decodes tens of
// thousands of short names one by one.
#ifndef TALLYGATE_LINK_TEXT_CODE_PAGE_H_
#define TALLYGATE_LINK_TEXT_CODE_PAGE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/protocol/frame.h"

namespace tallygate {

enum class CodePage {
  Gbk,   // CP936
  Big5,  // CP950
};

// The code page of text on the wire for a locale class (locale_class.h):
// Big5 for 2 (Traditional Chinese), GBK for any other.
CodePage SystemCodePage(int16_t locale_class);

// The bytes of UTF-8 text in `page`. A character the code page lacks becomes
// a single '?', as the platform's own conversion to a code page does; a NUL
// character becomes a 0x00 byte. Text that is not valid UTF-8 (a stray or
// missing continuation byte, an overlong form, a surrogate, a code point
// above U+10FFFF) throws BasicError(err::kInvalidProcedureCall).
Bytes EncodeText(std::string_view utf8, CodePage page);

// `bytes` in `page` as UTF-8 text. Never throws for the bytes' sake: a byte
// pair that is no character of the code page becomes one U+FFFD, and so does
// a single byte that cannot start a character (a lead byte followed by a byte
// that cannot follow it, or by nothing, stands alone, so the byte after it is
// decoded afresh). A 0x00 byte decodes to a NUL character, kept in the text.
std::string DecodeText(std::span<const uint8_t> bytes, CodePage page);

// The length in bytes of the first character of UTF-8 text; 0 for empty
// text. Throws BasicError(err::kInvalidProcedureCall) if the text does not
// start with a valid UTF-8 character.
size_t Utf8CharLength(std::string_view utf8);

// Whether the whole text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TEXT_CODE_PAGE_H_
