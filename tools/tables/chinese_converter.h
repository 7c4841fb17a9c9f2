// Traditional <-> Simplified Chinese through OpenCC's C interface. The
// configuration names ("t2s.json", "s2t.json") are looked up in OpenCC's own
// data folder when they are not paths.
#ifndef TALLYGATE_TOOLS_TABLES_CHINESE_CONVERTER_H_
#define TALLYGATE_TOOLS_TABLES_CHINESE_CONVERTER_H_

#include <string>
#include <string_view>

namespace tallygate::tables {

class ChineseConverter {
 public:
  // Throws std::runtime_error, with OpenCC's reason, if the configuration
  // or its dictionaries cannot be loaded.
  explicit ChineseConverter(const char* config);
  ~ChineseConverter();
  ChineseConverter(const ChineseConverter&) = delete;
  ChineseConverter& operator=(const ChineseConverter&) = delete;

  // `utf8` converted; throws std::runtime_error if OpenCC fails.
  std::string Convert(std::string_view utf8) const;

 private:
  void* handle_;
};

}  // namespace tallygate::tables

#endif  // TALLYGATE_TOOLS_TABLES_CHINESE_CONVERTER_H_
