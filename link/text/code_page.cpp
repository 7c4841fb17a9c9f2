#include "link/text/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "tallygate/basic_error.h"

namespace tallygate {
namespace {

constexpr const char* kIconvName[] = {"CP936", "CP950"};
constexpr char kUnencodable = '?';
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

size_t PageIndex(CodePage page) { return page == CodePage::Big5 ? 1 : 0; }

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One conversion direction, opened on first use.
class Converter {
 public:
  Converter() = default;
  ~Converter() {
    if (cd_ != kNoConverter) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  iconv_t Get(const char* to, const char* from) {
    if (cd_ == kNoConverter) {
      cd_ = iconv_open(to, from);
      if (cd_ == kNoConverter) {
        throw BasicError(err::kInvalidProcedureCall,
                         std::string("No conversion from ") + from + " to " + to);
      }
    }
    // Start from the initial shift state, whatever an earlier call left.
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return cd_;
  }

 private:
  iconv_t cd_ = kNoConverter;
};

struct ThreadConverters {
  Converter encode[2];
  Converter decode[2];
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  return converters;
}

iconv_t Encoder(CodePage page) {
  return Converters().encode[PageIndex(page)].Get(kIconvName[PageIndex(page)], "UTF-8");
}

iconv_t Decoder(CodePage page) {
  return Converters().decode[PageIndex(page)].Get("UTF-8", kIconvName[PageIndex(page)]);
}

// What to do where iconv stops at input it cannot convert: how many input
// bytes to pass over, and what to put in their place.
struct Substitution {
  size_t skip;
  std::string_view replacement;
};

// Runs `cd` over the whole input, appending to `out`; `substitute` decides
// for each piece of input that iconv refuses.
template <typename Output, typename Substitute>
void Convert(iconv_t cd, std::string_view input, Output& out, Substitute substitute) {
  size_t used = out.size();
  // Room for the common case; grown below if a conversion needs more.
  out.resize(used + input.size() * 2 + 8);
  char* in = const_cast<char*>(input.data());  // iconv's type; it does not write
  size_t in_left = input.size();
  while (in_left > 0) {
    char* out_ptr = reinterpret_cast<char*>(out.data()) + used;
    size_t out_left = out.size() - used;
    const size_t result = iconv(cd, &in, &in_left, &out_ptr, &out_left);
    used = out.size() - out_left;
    if (result != static_cast<size_t>(-1)) break;
    const int error = errno;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    if (error != EILSEQ && error != EINVAL) {
      throw BasicError(err::kInvalidProcedureCall, std::string("Text conversion failed: ") +
                                                       std::strerror(error));
    }
    const Substitution s = substitute(std::string_view(in, in_left));
    in += s.skip;
    in_left -= s.skip;
    if (out.size() - used < s.replacement.size()) out.resize(out.size() * 2 + s.replacement.size());
    std::memcpy(reinterpret_cast<char*>(out.data()) + used, s.replacement.data(),
                s.replacement.size());
    used += s.replacement.size();
  }
  out.resize(used);
}

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the valid UTF-8 character at the start of `s`, 0 if there is
// none.
size_t ValidCharLength(std::string_view s) {
  if (s.empty()) return 0;
  const auto at = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t b0 = at(0);
  if (b0 < 0x80) return 1;
  size_t length;
  uint8_t second_min = 0x80;
  uint8_t second_max = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) second_min = 0xA0;  // overlong
    if (b0 == 0xED) second_max = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) second_min = 0x90;  // overlong
    if (b0 == 0xF4) second_max = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (at(1) < second_min || at(1) > second_max) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(at(i))) return 0;
  }
  return length;
}

// Whether `b` can follow a lead byte in the code page.
bool IsTrailByte(uint8_t b, CodePage page) {
  if (b >= 0x40 && b <= 0x7E) return true;
  return page == CodePage::Big5 ? (b >= 0xA1 && b <= 0xFE) : (b >= 0x80 && b <= 0xFE);
}

}  // namespace

CodePage SystemCodePage(int16_t locale_class) {
  return locale_class == 2 ? CodePage::Big5 : CodePage::Gbk;
}

size_t Utf8CharLength(std::string_view utf8) {
  if (utf8.empty()) return 0;
  const size_t length = ValidCharLength(utf8);
  if (length == 0) throw BasicError(err::kInvalidProcedureCall, "Invalid UTF-8 text");
  return length;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = ValidCharLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

Bytes EncodeText(std::string_view utf8, CodePage page) {
  if (!IsValidUtf8(utf8)) throw BasicError(err::kInvalidProcedureCall, "Invalid UTF-8 text");
  Bytes out;
  if (utf8.empty()) return out;
  Convert(Encoder(page), utf8, out, [](std::string_view rest) {
    // The input is valid, so iconv stopped at a character the page lacks.
    const size_t length = ValidCharLength(rest);
    return Substitution{length > 0 ? length : 1, std::string_view(&kUnencodable, 1)};
  });
  return out;
}

std::string DecodeText(std::span<const uint8_t> bytes, CodePage page) {
  std::string out;
  if (bytes.empty()) return out;
  const std::string_view input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  Convert(Decoder(page), input, out, [page](std::string_view rest) {
    const auto lead = static_cast<uint8_t>(rest[0]);
    const bool pair = rest.size() >= 2 && lead >= 0x81 && lead <= 0xFE &&
                      IsTrailByte(static_cast<uint8_t>(rest[1]), page);
    return Substitution{pair ? size_t{2} : size_t{1}, kReplacementCharacter};
  });
  return out;
}

}  // namespace tallygate
