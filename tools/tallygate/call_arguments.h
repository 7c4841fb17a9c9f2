// The arguments of one call, made from the words a user typed:
//
//   TEXT        the text itself, as a window passes a field's text
//   @TEXT       a by-reference variable that starts as the text TEXT (@ alone:
//               empty text); its final value is reported after the call
//   &TEXT       the same, the older form, unless TEXT makes the word a Basic
//               number (&H1F, &O17), which is passed as text
//   0xHHHHHHHH  a card number as the collected files print it (8 hex digits;
//   hex:HHHHHHHH  also hex:...), passed as the decimal text of its signed
//               32-bit value (0x0012D687 is "1234567", 0xFFFFFFFF "-1")
//   ~           a missing argument: the parameter's default applies
//   [A,B,..]    an array of date values made from the texts A, B, ... (blanks
//               around each allowed; [] is an empty array)
//   \TEXT       the text TEXT, for a text that starts with @, &, ~, [ or a
//               backslash
//
// When the member is known, each plain text is checked against its
// parameter's type before anything is sent: an integer parameter takes a
// whole number in its range (no rounding), a Boolean or date parameter a
// text that converts. With basic_conversions the texts go to the member's
// own conversions unchecked.
#ifndef TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_
#define TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tallygate/members.h"
#include "tallygate/variant.h"

namespace tallygate::cli {

// A word or option that cannot be used.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An argument its parameter cannot take; nothing was sent.
class ArgumentError : public UsageError {
 public:
  using UsageError::UsageError;
};

struct CallArguments {
  std::vector<Variant> values;  // what the member receives
  // The by-reference variables, in the order of the words; `values` points
  // into them.
  std::vector<std::unique_ptr<Variant>> variables;
  // The parameter name of each variable ("argument N" when unknown).
  std::vector<std::string> variable_names;
};

// The decimal text of a card given as 0xHHHHHHHH or hex:HHHHHHHH, or nothing
// when `word` is neither.
std::optional<std::string> CardFromHex(std::string_view word);
// The signed 32-bit value of a card's 8 hexadecimal digits, as the decimal
// card option writes it ("FFFFFFFF" is -1), or nothing for other text.
std::optional<int32_t> CardValue(std::string_view hex_digits);

// Throws UsageError for a malformed word, ArgumentError for a text its
// parameter cannot take, BasicError when an array item is not a date.
CallArguments MakeCallArguments(const std::vector<std::string>& words,
                                const binding::Member* member = nullptr,
                                bool basic_conversions = false);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_
