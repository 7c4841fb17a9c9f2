// Case-insensitive comparison of names, as Basic compares member names and
// the registration store compares programmatic identifiers: ASCII letters
// only, whatever the process locale.
#ifndef TALLYGATE_ASCII_TEXT_H_
#define TALLYGATE_ASCII_TEXT_H_

#include <string_view>

namespace tallygate {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace tallygate

#endif  // TALLYGATE_ASCII_TEXT_H_
