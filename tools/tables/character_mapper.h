// Maps one two-byte code of a source code page to the code of the same
// character, in the other script, in a target code page.
//
// The source bytes are decoded, the character converted with OpenCC, and the
// result encoded. Candidates are tried in order, the first the target has
// wins:
//   1. the character itself: the tables map card holders' names, and a name
//      keeps a character the other set also has (the surname 范 stays 范
//      rather than becoming 範, 乾 stays 乾 rather than becoming 干);
//   2. each OpenCC configuration's form of the character;
//   3. the same again for each further reading of the source bytes.
// Each candidate is encoded in each target code page in turn. Further
// readings and further target pages are other vendors' mappings of the same
// code pages: they pick different Unicode points for a few symbols (a middle
// dot, a dash), which would otherwise find no counterpart. A code from a
// further target page counts only where the table's own page has a
// character at it. When nothing fits, the fallback code stands in.
#ifndef TALLYGATE_TOOLS_TABLES_CHARACTER_MAPPER_H_
#define TALLYGATE_TOOLS_TABLES_CHARACTER_MAPPER_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/tables/chinese_converter.h"
#include "tools/tables/iconv_codec.h"
#include "tools/tables/table_layout.h"

namespace tallygate::tables {

struct MappingPlan {
  // iconv names. The first source page decides whether a code is a
  // character at all; the first target page is the table's own.
  std::vector<const char*> source_pages;
  std::vector<const char*> target_pages;
  std::vector<const char*> opencc_configs;
  DoubleByte fallback;
};

enum class Outcome {
  kConverted,      // an OpenCC form that differs from the character
  kSameCharacter,  // OpenCC left the character alone, and the target has it
  kOriginalKept,   // OpenCC's forms are missing from the target; the character is not
  kNoCounterpart,  // no candidate is in the target: fallback code
  kNoCharacter,    // the source code is no character: fallback code
};
inline constexpr int kOutcomeCount = 5;

struct MappedCode {
  DoubleByte code;
  Outcome outcome;
  bool other_vendor = false;  // found through a further reading or target page
};

class CharacterMapper {
 public:
  // Throws std::runtime_error if a code page or configuration is missing.
  explicit CharacterMapper(const MappingPlan& plan);

  MappedCode Map(DoubleByte source);

 private:
  // The first target code of the single character `utf8`, if any; sets
  // `other_vendor` when it came from a further target page.
  std::optional<DoubleByte> Encode(const std::string& utf8, bool& other_vendor);
  std::optional<MappedCode> MapReading(const std::string& reading, bool further_reading);

  std::vector<std::unique_ptr<IconvCodec>> decoders_;
  std::vector<std::unique_ptr<IconvCodec>> encoders_;
  IconvCodec target_decoder_;
  std::vector<std::unique_ptr<ChineseConverter>> converters_;
  DoubleByte fallback_;
};

}  // namespace tallygate::tables

#endif  // TALLYGATE_TOOLS_TABLES_CHARACTER_MAPPER_H_
