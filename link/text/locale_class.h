// The class of the system's default locale. It decides how card-holder names
// are coded on their way to and from a terminal: terminals keep GB2312 codes,
// so a Traditional-Chinese computer maps names through the code tables, and
// the code page of names on the wire follows the class (see code_page.h).
//
// The locale is the system's, not the user's: it comes from the system's
// locale configuration, never from LANG or LC_* in the process environment,
// so that every user of one computer talks to the terminals alike. The
// environment variable TALLYGATE_SYSTEM_LOCALE, when set and not empty, takes
// its place (for tests and for systems configured elsewhere).
#ifndef TALLYGATE_LINK_TEXT_LOCALE_CLASS_H_
#define TALLYGATE_LINK_TEXT_LOCALE_CLASS_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tallygate {

inline constexpr int16_t kLocaleOther = 0;
inline constexpr int16_t kLocaleSimplifiedChinese = 1;
inline constexpr int16_t kLocaleTraditionalChinese = 2;

inline constexpr const char* kSystemLocaleVariable = "TALLYGATE_SYSTEM_LOCALE";

// The class of a locale name: zh, zh_CN and zh_SG give 1; zh_TW and zh_HK give
// 2; anything else, the empty name included, gives 0. A codeset or modifier
// (zh_TW.UTF-8, zh_CN.GB18030, zh_TW@euro) is ignored, a hyphen may stand for
// the underscore (zh-TW), and letter case does not matter.
int16_t LocaleClassOf(std::string_view locale_name);

// The system's locale configuration files, in the order they are consulted:
// /etc/locale.conf, then /etc/default/locale.
std::vector<std::filesystem::path> SystemLocaleFiles();

// The locale a configuration file of shell-style assignments names: LC_ALL if
// it is set and not empty, else LANG. Quotes around the value, an "export"
// prefix, blank lines and # comments are allowed. Nothing when the file cannot
// be read or sets neither.
std::optional<std::string> LocaleNameFromFile(const std::filesystem::path& file);

// The class of the locale named by the first of `files` that names one; 0 if
// none does.
int16_t LocaleClassFromFiles(std::span<const std::filesystem::path> files);

// The class of the system's default locale: TALLYGATE_SYSTEM_LOCALE if set and
// not empty, else the system's configuration files.
int16_t GetLocaleClass();

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TEXT_LOCALE_CLASS_H_
