// The arguments of one call, made from the words a user typed:
//
//   TEXT     the text itself, as a window passes a field's text
//   &TEXT    a by-reference variable that starts as the text TEXT (& alone:
//            empty text); its final value is reported after the call
//   ~        a missing argument: the parameter's default applies
//   [A,B,..] an array of date values made from the texts A, B, ... (blanks
//            around each allowed; [] is an empty array)
//   \TEXT    the text TEXT, for a text that starts with &, ~, [ or a backslash
#ifndef TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_
#define TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tallygate/variant.h"

namespace tallygate::cli {

// A word that is none of the forms above (an unclosed [).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CallArguments {
  std::vector<Variant> values;  // what the member receives
  // The & variables, in the order of the words; `values` points into them.
  std::vector<std::unique_ptr<Variant>> variables;
};

// Throws UsageError for a malformed word, BasicError when an array item is
// not a date.
CallArguments MakeCallArguments(const std::vector<std::string>& words);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_CALL_ARGUMENTS_H_
