// The character-code tables of "rm.txt", through which card-holder names are
// mapped between Big5 and GB2312 on a Traditional-Chinese system (see
// char_map.h).
//
// The file is plain text, one entry per line (LF or CR LF): lines 1 to 14758
// are the Big5-to-GB table, indexed by a Big5 code's position (157 columns
// per lead byte 0xA1..0xFE); the next 8178 lines are the GB-to-Big5 table,
// indexed by a GB2312 code's position (94 columns per lead byte 0xA1..0xF7).
// An entry begins with four hexadecimal digits: the two bytes of the code it
// maps to. Anything after them is kept with the entry but not used.
//
// The tables are process-wide: loaded once, read by every object on every
// thread. Loading replaces them whole, so a reader holding a CodeTables
// snapshot never sees a half-loaded table.
#ifndef TALLYGATE_CODE_TABLES_H_
#define TALLYGATE_CODE_TABLES_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate {

inline constexpr int kBig5ToGbEntries = 14758;
inline constexpr int kGbToBig5Entries = 8178;
inline constexpr int kCodeTableLines = kBig5ToGbEntries + kGbToBig5Entries;

enum class CodeTable { Big5ToGb, GbToBig5 };

// The code an entry's text stands for: its characters 1-2 and 3-4, each read
// leniently as a hexadecimal byte (the digits up to the first one that is not
// hexadecimal; none read as 0), as lead byte << 8 | trail byte.
uint16_t EntryCode(std::string_view entry);

// One loaded pair of tables. A table holds as many entries as the file gave
// it: a short file leaves the rest of the entries missing.
class CodeTables {
 public:
  CodeTables() = default;

  // The number of entries the file gave `table`.
  int Size(CodeTable table) const;

  // The code of entry `index` (see EntryCode). Throws
  // BasicError(err::kSubscriptOutOfRange) for an index outside the table or
  // an entry the file did not reach: mapping a name through a missing entry
  // would send the terminal zero bytes in place of the character.
  uint16_t Code(CodeTable table, int index) const;

  // The text of entry `index`, without its line end; throws as Code does.
  const std::string& Text(CodeTable table, int index) const;

  // Adds the next line of the file; throws
  // BasicError(err::kSubscriptOutOfRange) past kCodeTableLines.
  void Append(std::string text);

 private:
  struct Table {
    std::vector<std::string> texts;
    std::vector<uint16_t> codes;
  };
  const Table& Of(CodeTable table) const {
    return table == CodeTable::Big5ToGb ? big5_to_gb_ : gb_to_big5_;
  }
  void CheckIndex(CodeTable table, int index) const;

  Table big5_to_gb_;
  Table gb_to_big5_;
};

// Reads `rm_txt` into the process's tables. A file that cannot be opened or
// read throws its file error (ErrorFromErrno); a file of more than
// kCodeTableLines lines throws BasicError(err::kSubscriptOutOfRange). On any
// error the tables loaded before stay as they were.
void LoadCodeTables(const std::filesystem::path& rm_txt);

// Loads `rm_txt` unless tables are already loaded; returns whether it loaded.
// Concurrent callers load the file once.
bool EnsureCodeTablesLoaded(const std::filesystem::path& rm_txt);

bool CodeTablesLoaded();

// The loaded tables; throws BasicError(err::kSubscriptOutOfRange) when none
// are loaded, since every look-up would then be out of range.
std::shared_ptr<const CodeTables> CurrentCodeTables();

// Forgets the loaded tables. For tests.
void UnloadCodeTablesForTesting();

}  // namespace tallygate

#endif  // TALLYGATE_CODE_TABLES_H_
