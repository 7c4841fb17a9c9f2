#include "tools/tables/iconv_codec.h"

#include <stdexcept>

namespace tallygate::tables {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);

}  // namespace

IconvCodec::IconvCodec(const char* to, const char* from) : cd_(iconv_open(to, from)) {
  if (cd_ == kNoConverter) {
    throw std::runtime_error(std::string("iconv has no conversion from ") + from + " to " + to);
  }
}

IconvCodec::~IconvCodec() { iconv_close(cd_); }

std::optional<std::string> IconvCodec::Convert(std::string_view input) {
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  std::string in(input);
  // Every supported conversion at most quadruples a character's size.
  std::string out(in.size() * 4 + 8, '\0');
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t irreversible = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
  // A non-zero count means iconv substituted something: no exact counterpart.
  if (irreversible != 0 || in_left != 0) return std::nullopt;
  if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == kIconvFailed) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace tallygate::tables
