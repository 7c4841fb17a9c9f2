// One iconv conversion direction, strict: text that the target code page
// cannot hold fails instead of being replaced or transliterated, so the
// table generator can tell a real counterpart from a lossy one.
#ifndef TALLYGATE_TOOLS_TABLES_ICONV_CODEC_H_
#define TALLYGATE_TOOLS_TABLES_ICONV_CODEC_H_

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

namespace tallygate::tables {

class IconvCodec {
 public:
  // Throws std::runtime_error when iconv has no such conversion.
  IconvCodec(const char* to, const char* from);
  ~IconvCodec();
  IconvCodec(const IconvCodec&) = delete;
  IconvCodec& operator=(const IconvCodec&) = delete;

  // `input` converted whole, or nullopt if any of it is invalid, incomplete
  // or has no exact counterpart in the target.
  std::optional<std::string> Convert(std::string_view input);

 private:
  iconv_t cd_;
};

}  // namespace tallygate::tables

#endif  // TALLYGATE_TOOLS_TABLES_ICONV_CODEC_H_
