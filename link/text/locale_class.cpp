#include "link/text/locale_class.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace tallygate {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// The value of a shell assignment's right-hand side: a quoted value up to its
// closing quote, an unquoted one up to the first blank (what follows is a
// comment or garbage either way).
std::string ShellValue(std::string_view raw) {
  raw = Trim(raw);
  if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) {
    const char quote = raw.front();
    raw.remove_prefix(1);
    const size_t end = raw.find(quote);
    return std::string(raw.substr(0, end));
  }
  const auto blank = std::find_if(raw.begin(), raw.end(), IsSpace);
  return std::string(raw.begin(), blank);
}

}  // namespace

int16_t LocaleClassOf(std::string_view locale_name) {
  std::string_view name = Trim(locale_name);
  name = name.substr(0, name.find_first_of(".@"));
  const size_t separator = name.find_first_of("_-");
  const std::string_view language = name.substr(0, separator);
  if (!EqualsIgnoringCase(language, "zh")) return kLocaleOther;
  // The neutral Chinese locale is Simplified Chinese.
  if (separator == std::string_view::npos) return kLocaleSimplifiedChinese;
  const std::string_view territory = name.substr(separator + 1);
  if (EqualsIgnoringCase(territory, "CN") || EqualsIgnoringCase(territory, "SG")) {
    return kLocaleSimplifiedChinese;
  }
  if (EqualsIgnoringCase(territory, "TW") || EqualsIgnoringCase(territory, "HK")) {
    return kLocaleTraditionalChinese;
  }
  return kLocaleOther;
}

std::vector<std::filesystem::path> SystemLocaleFiles() {
  return {"/etc/locale.conf", "/etc/default/locale"};
}

std::optional<std::string> LocaleNameFromFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  std::string lc_all;
  std::string lang;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view text = Trim(line);
    if (text.empty() || text.front() == '#') continue;
    if (text.starts_with("export") && text.size() > 6 && IsSpace(text[6])) {
      text = Trim(text.substr(6));
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(text.substr(0, equals));
    // Later assignments replace earlier ones, as the shell would read them.
    if (key == "LC_ALL") lc_all = ShellValue(text.substr(equals + 1));
    if (key == "LANG") lang = ShellValue(text.substr(equals + 1));
  }
  if (!lc_all.empty()) return lc_all;
  if (!lang.empty()) return lang;
  return std::nullopt;
}

int16_t LocaleClassFromFiles(std::span<const std::filesystem::path> files) {
  for (const auto& file : files) {
    if (auto name = LocaleNameFromFile(file)) return LocaleClassOf(*name);
  }
  return kLocaleOther;
}

int16_t GetLocaleClass() {
  const char* configured = std::getenv(kSystemLocaleVariable);
  if (configured != nullptr && *configured != '\0') return LocaleClassOf(configured);
  const auto files = SystemLocaleFiles();
  return LocaleClassFromFiles(files);
}

}  // namespace tallygate
