#include "tools/tables/chinese_converter.h"

#include <opencc/opencc.h>

#include <memory>
#include <stdexcept>

namespace tallygate::tables {
namespace {

const opencc_t kOpenFailed = reinterpret_cast<opencc_t>(-1);

std::string OpenCCReason() {
  const char* reason = opencc_error();
  return reason != nullptr ? reason : "unknown error";
}

struct ConvertedFree {
  void operator()(char* text) const { opencc_convert_utf8_free(text); }
};

}  // namespace

ChineseConverter::ChineseConverter(const char* config) : handle_(opencc_open(config)) {
  if (handle_ == kOpenFailed) {
    throw std::runtime_error(std::string("OpenCC cannot load ") + config + ": " + OpenCCReason());
  }
}

ChineseConverter::~ChineseConverter() { opencc_close(handle_); }

std::string ChineseConverter::Convert(std::string_view utf8) const {
  std::unique_ptr<char, ConvertedFree> converted(
      opencc_convert_utf8(handle_, utf8.data(), utf8.size()));
  if (!converted) throw std::runtime_error("OpenCC conversion failed: " + OpenCCReason());
  return converted.get();
}

}  // namespace tallygate::tables
