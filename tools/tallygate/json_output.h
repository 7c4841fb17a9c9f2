// The JSON tallygate prints: one line of it for each call,
//   {"call": NAME, "result": VALUE, "byref": [FINAL VALUES OF THE BY-REFERENCE ARGUMENTS],
//    "out": {PARAMETER NAME: FINAL VALUE, ...}}
//   {"call": NAME, "error": {"number": N, "description": TEXT}}
// and the lines of the collected jsonl files. An argument refused before the
// call, and a script line that is no call (NAME ""), are errors numbered 5
// whose description says what is wrong.
//
// Every line is built as a nlohmann::ordered_json (keys in the order they
// were added) and written by JsonLine: members and items separated by ", ",
// keys followed by ": ", as scripts have always read them (nlohmann-json's
// own compact form has no spaces). Texts are JSON strings as nlohmann-json
// writes them (control characters escaped, text that is not UTF-8 replaced
// by U+FFFD); numbers of a fraction are spelt as the conversions spell them
// ("0.25", "100000000000000000000"). Booleans are true or false, dates
// strings as the conversions write them, arrays JSON arrays, empty and
// missing values null.
#ifndef TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_
#define TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tallygate/dispatch_ref.h"
#include "tallygate/variant.h"

namespace tallygate::cli {

using Json = nlohmann::ordered_json;

// The line of `value`, without its line break.
std::string JsonLine(const Json& value);

// The JSON of a value of a call.
Json JsonOf(const Variant& value);

// The object of a call; "out" is there when `byref_names` names each
// by-reference value.
Json ResultJson(std::string_view name, const Variant& result,
                const std::vector<std::unique_ptr<Variant>>& byref,
                const std::vector<std::string>& byref_names = {});
Json ErrorJson(std::string_view name, int32_t number, std::string_view description);

// JsonLine of the above.
std::string JsonString(std::string_view utf8);
std::string JsonValue(const Variant& value);
std::string ResultLine(std::string_view name, const Variant& result,
                       const std::vector<std::unique_ptr<Variant>>& byref,
                       const std::vector<std::string>& byref_names = {});
std::string ErrorLine(std::string_view name, int32_t number, std::string_view description);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_JSON_OUTPUT_H_
