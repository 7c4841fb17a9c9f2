// Line settings text of the serial port: "rate,parity,data,stop", for example
// "19200,s,8,1".
#ifndef TALLYGATE_LINK_TRANSPORT_LINE_SETTINGS_H_
#define TALLYGATE_LINK_TRANSPORT_LINE_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallygate {

enum class Parity : char { None = 'n', Even = 'e', Odd = 'o', Mark = 'm', Space = 's' };

struct LineSettings {
  int32_t rate = 19200;
  Parity parity = Parity::None;
  int data_bits = 8;   // 7 or 8
  int stop_bits = 1;   // 1 or 2

  // The bits one character takes on the wire: start, data, parity, stop.
  int BitsPerCharacter() const;
  // The text form, "19200,n,8,1".
  std::string ToString() const;

  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Parses a settings text; blanks around the parts are allowed and the parity
// letter may be upper case. Returns nothing when the text does not parse.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_LINE_SETTINGS_H_
