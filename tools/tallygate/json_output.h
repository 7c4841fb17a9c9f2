// The one line of JSON that reports a call:
//   {"call": NAME, "result": VALUE, "byref": [FINAL VALUES OF THE BY-REFERENCE ARGUMENTS],
//    "out": {PARAMETER NAME: FINAL VALUE, ...}}
//   {"call": NAME, "error": {"number": N, "description": TEXT}}
// An argument refused before the call, and a script line that is no call
// (NAME ""), are errors numbered 5 whose description says what is wrong.
// Numbers are JSON numbers, Booleans true or false, texts JSON strings as
// nlohmann-json writes them (control characters escaped, text that is not
// UTF-8 replaced by U+FFFD),
// dates strings as the conversions write them, arrays JSON arrays, empty and
// missing values null.
#ifndef TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_
#define TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tallygate/dispatch_ref.h"
#include "tallygate/variant.h"

namespace tallygate::cli {

std::string JsonString(std::string_view utf8);
std::string JsonValue(const Variant& value);

// The line for a call, without its line break; "out" is there when
// `byref_names` names each by-reference value.
std::string ResultLine(std::string_view name, const Variant& result,
                       const std::vector<std::unique_ptr<Variant>>& byref,
                       const std::vector<std::string>& byref_names = {});
std::string ErrorLine(std::string_view name, int32_t number, std::string_view description);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_
