#include "link/text/card_name.h"

#include <vector>

#include "link/text/char_map.h"
#include "link/text/code_page.h"
#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// One name code: its bytes (one for a code below 256, else two).
struct NameCode {
  uint8_t bytes[2];
  int length;
};

std::string DecodeCode(const uint8_t* bytes, int length, CodePage page) {
  std::string text;
  if (length == 1 && bytes[0] < 0x80) {
    text.assign(1, static_cast<char>(bytes[0]));
  } else {
    text = DecodeText(std::span<const uint8_t>(bytes, static_cast<size_t>(length)), page);
    // A pair the code page does not hold may come back as two replacement
    // characters; it was one code, so it stays one.
    if (text.find(kReplacement) != std::string::npos) return kReplacement;
  }
  // A line break in a name (a lone CR or LF, or a pair such as 0D 0A) would
  // split its entry over two lines of the file and move every later entry
  // off its position.
  if (text.find_first_of("\r\n") != std::string::npos) return kReplacement;
  return text;
}

}  // namespace

std::string DecodeCardName(std::span<const uint8_t, 8> name, int16_t locale_class) {
  std::vector<NameCode> codes;
  for (size_t i = 0; i < 8; i += 2) {
    if (name[i] == 0) {
      codes.push_back({{name[i + 1], 0}, 1});
    } else {
      codes.push_back({{name[i], name[i + 1]}, 2});
    }
  }
  if (locale_class != 2) {
    std::string text;
    for (const NameCode& code : codes) text += DecodeCode(code.bytes, code.length, CodePage::Gbk);
    return text;
  }
  // Traditional Chinese: trim spaces, then each GB2312 code to its Big5 code.
  auto is_space = [](const NameCode& code) { return code.length == 1 && code.bytes[0] == ' '; };
  size_t first = 0, last = codes.size();
  while (first < last && is_space(codes[first])) ++first;
  while (last > first && is_space(codes[last - 1])) --last;
  std::string text;
  for (size_t i = first; i < last; ++i) {
    const NameCode& code = codes[i];
    if (code.length == 1) {
      text += DecodeCode(code.bytes, 1, CodePage::Big5);
      continue;
    }
    try {
      Bytes big5 = MapGbBytesToBig5(code.bytes);
      text += DecodeCode(big5.data(), static_cast<int>(big5.size()), CodePage::Big5);
    } catch (const BasicError&) {
      // A code outside the GB2312 table has no Big5 counterpart; one name
      // must not cost the whole collection.
      text += kReplacement;
    }
  }
  return text;
}

}  // namespace tallygate
