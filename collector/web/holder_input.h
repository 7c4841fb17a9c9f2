// A cardholder as a request gives it (the API's JSON object, the holder
// page's form), checked as the command line checks it: a value that is not
// what its field takes is a BadField naming the field.
#ifndef TALLYGATE_COLLECTOR_WEB_HOLDER_INPUT_H_
#define TALLYGATE_COLLECTOR_WEB_HOLDER_INPUT_H_

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "collector/cards/card_terminal.h"
#include "collector/base/cardholder.h"

namespace tallygate::collector::web {

// The fields as text: terminals as "a;b" or "*", days as YYYY-MM-DD, empty
// when not given.
struct HolderFields {
  std::string card, staff, name, terminals, valid_from, valid_until;
};

// From {"card", "staff", "name", "terminals" (an array or "a;b" or "*"),
// "valid_from", "valid_until"}; card and staff may be numbers, the days
// null. Throws BadField for a value of the wrong type or a key it does not
// know.
HolderFields HolderFieldsOf(const nlohmann::json& object);

// From a form's fields of the same names.
HolderFields HolderFieldsOf(const httplib::Request& request);

// The cardholder, its fields trimmed of spaces as a CSV's are, checked among
// `terminals` (HolderFieldProblems): throws BadField for the first field
// that is wrong, a control character in the staff number or name first.
Cardholder HolderOf(const HolderFields& given, std::span<const CardTerminal> terminals);

// The card of a URL or a field: decimal, or hexadecimal after 0x. Throws
// BadField naming `field`.
uint32_t CardOfField(const std::string& text, const char* field);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_HOLDER_INPUT_H_
