// One field of RFC 4180 CSV: quoted when it holds a comma, a double quote,
// CR or LF (or starts or ends with a space, which some readers trim), its
// quotes doubled. Shared by every program that writes CSV.
#ifndef TALLYGATE_COMMON_CSV_CSV_FIELD_H_
#define TALLYGATE_COMMON_CSV_CSV_FIELD_H_

#include <initializer_list>
#include <string>
#include <string_view>

namespace tallygate::csv {

inline std::string Field(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

// The fields as one record, each as Field writes it, CR LF ended.
inline std::string Line(std::initializer_list<std::string> fields) {
  std::string line;
  const char* separator = "";
  for (const std::string& field : fields) {
    line += separator + Field(field);
    separator = ",";
  }
  return line + "\r\n";
}

}  // namespace tallygate::csv

#endif  // TALLYGATE_COMMON_CSV_CSV_FIELD_H_
