#include "link/transport/line_settings.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace tallygate {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::optional<int32_t> ParseInt(std::string_view s) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

}  // namespace

int LineSettings::BitsPerCharacter() const {
  return 1 + data_bits + (parity == Parity::None ? 0 : 1) + stop_bits;
}

std::string LineSettings::ToString() const {
  std::string text = std::to_string(rate);
  text += ',';
  text += static_cast<char>(parity);
  text += ',';
  text += std::to_string(data_bits);
  text += ',';
  text += std::to_string(stop_bits);
  return text;
}

std::optional<LineSettings> ParseLineSettings(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    parts.push_back(Trim(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 4) return std::nullopt;

  LineSettings settings;
  auto rate = ParseInt(parts[0]);
  auto data = ParseInt(parts[2]);
  auto stop = ParseInt(parts[3]);
  if (!rate || *rate <= 0 || !data || !stop) return std::nullopt;
  if (parts[1].size() != 1) return std::nullopt;
  switch (std::tolower(static_cast<unsigned char>(parts[1][0]))) {
    case 'n': settings.parity = Parity::None; break;
    case 'e': settings.parity = Parity::Even; break;
    case 'o': settings.parity = Parity::Odd; break;
    case 'm': settings.parity = Parity::Mark; break;
    case 's': settings.parity = Parity::Space; break;
    default: return std::nullopt;
  }
  if (*data != 7 && *data != 8) return std::nullopt;
  if (*stop != 1 && *stop != 2) return std::nullopt;
  settings.rate = *rate;
  settings.data_bits = *data;
  settings.stop_bits = *stop;
  return settings;
}

}  // namespace tallygate
