// A cardholder's fields as people type them, wherever they come from (a CSV
// file, the command line, the dashboard's form, the JSON API): the spaces
// around them dropped, and control characters told apart, so that a name is
// kept as the terminals and the audit can show it.
#ifndef TALLYGATE_COLLECTOR_BASE_FIELD_TEXT_H_
#define TALLYGATE_COLLECTOR_BASE_FIELD_TEXT_H_

#include <string>
#include <string_view>

namespace tallygate::collector {

// `text` without the spaces at either end.
std::string_view TrimmedField(std::string_view text);

// The first control character of `text` (U+0000 to U+001F, U+007F to
// U+009F: a NUL, a tab, a line break...) as "U+0000"; empty when it has none.
std::string ControlCharacterIn(std::string_view text);

// `text` with each control character written as \u0000: text that must stay
// whole and on one line (PostgreSQL ends a text at a NUL).
std::string ControlsWritten(std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_FIELD_TEXT_H_
