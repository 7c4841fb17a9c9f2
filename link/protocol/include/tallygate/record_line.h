// The attendance record line of the collected files, written from a record
// unit as the terminal sends it, and read back by CheckData, DemoConsole, the
// command-line tool and the soak.
//
//   AAA CCCCCCCC YYMMDD hhmmss F K      "0010012D687240315083005199"
//
//   AAA       terminal address, 3 decimal digits
//   CCCCCCCC  card number, 8 hexadecimal digits; with the decimal option the
//             signed 32-bit value zero-padded to 10 digits, 11 characters
//             with the minus sign ("-0000000001")
//   YYMMDD    the date bytes as hexadecimal pairs; with the full-year option
//             the computer's century in front (YYYYMMDD)
//   hhmmss    the time bytes as hexadecimal pairs
//   F K       flag and keep byte, hexadecimal without padding ("5", "FF"), so
//             the two cannot be told apart once written
//
// Nothing separates the fields: a reader finds them by width, and the card's
// width depends on the option and, in decimal, on its sign.
//
// The card-list line (the card list's collected file) starts with the same
// card field:
//
//   CCCCCCCC SSSSSSSS NAME              "0012D68700000123张三\0\0"
//
//   SSSSSSSS  staff number, 8 hexadecimal digits (packed decimal)
//   NAME      the name's four codes as UTF-8, with whatever padding the
//             terminal keeps (NULs, spaces)
#ifndef TALLYGATE_RECORD_LINE_H_
#define TALLYGATE_RECORD_LINE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tallygate {

struct RecordLineOptions {
  bool decimal_card = false;
  bool full_year = false;
};

namespace record_line {
inline constexpr size_t kAddressWidth = 3;
inline constexpr size_t kHexCardWidth = 8;
inline constexpr size_t kDecimalCardWidth = 10;  // digits, without a minus sign
inline constexpr size_t kCenturyWidth = 2;
inline constexpr size_t kPairWidth = 2;  // each of YY MM DD hh mm ss
// Flag and keep byte together: two to four characters.
inline constexpr size_t kFlagsMaxWidth = 4;
}  // namespace record_line

// The card field: 8 hexadecimal digits, or the signed decimal value zero-
// padded to 10 digits when `decimal`.
std::string CardField(std::span<const uint8_t, 4> card, bool decimal);

// The line of a record unit. `century` is the first two digits of the
// current year ("20"), used when `full_year`.
std::string RecordLine(int address, std::span<const uint8_t> unit, bool decimal_card,
                       bool full_year, const std::string& century);

// The fields of a line, each a view into it. A line too short for a field
// gives that field cut at the line's end (empty past it), so any text can be
// read; `complete` says whether address, card, date and time were all there.
// Nothing is checked: the fields are where the options put them.
struct RecordLineFields {
  std::string_view address;
  std::string_view card;  // with its minus sign
  std::string_view year;  // 4 characters with the full-year option, else 2
  std::string_view month;
  std::string_view day;
  std::string_view hour;
  std::string_view minute;
  std::string_view second;
  std::string_view flags;  // flag and keep byte, at most kFlagsMaxWidth
  bool complete = false;
};

RecordLineFields ParseRecordLine(std::string_view line, RecordLineOptions options);

namespace card_line {
inline constexpr size_t kStaffWidth = 8;
}  // namespace card_line

// The fields of a card-list line, read as ParseRecordLine reads a record
// line; `complete` says whether card and staff number were all there.
struct CardLineFields {
  std::string_view card;  // with its minus sign
  std::string_view staff;
  std::string_view name;  // the rest of the line, padding included
  bool complete = false;
};

CardLineFields ParseCardLine(std::string_view line, bool decimal_card);

}  // namespace tallygate

#endif  // TALLYGATE_RECORD_LINE_H_
