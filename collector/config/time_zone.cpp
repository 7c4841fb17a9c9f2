#include "collector/config/time_zone.h"

#include <date/tz.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "collector/config/config.h"

namespace tallygate::collector {

namespace {

// "/usr/share/zoneinfo/posix/Asia/Shanghai" and ":Asia/Shanghai" name
// "Asia/Shanghai".
std::string ZoneNameIn(std::string text) {
  if (!text.empty() && text.front() == ':') text.erase(0, 1);
  constexpr std::string_view kFolder = "zoneinfo/";
  if (const std::size_t at = text.rfind(kFolder); at != std::string::npos) {
    text.erase(0, at + kFolder.size());
    for (const std::string_view variant : {"posix/", "right/"}) {
      if (text.starts_with(variant)) text.erase(0, variant.size());
    }
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::mutex& TimeZoneLibraryLock() {
  static std::mutex lock;
  return lock;
}

std::optional<std::string> KnownTimeZone(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const std::lock_guard hold(TimeZoneLibraryLock());
  try {
    return std::string(date::locate_zone(name)->name());
  } catch (const std::exception&) {  // unknown, or no zone database at all
    return std::nullopt;
  }
}

std::string HostTimeZone() {
  std::vector<std::string> candidates;
  if (const char* tz = std::getenv("TZ"); tz != nullptr) candidates.push_back(ZoneNameIn(tz));
  if (std::ifstream file("/etc/timezone"); file) {
    std::string line;
    std::getline(file, line);
    candidates.push_back(ZoneNameIn(line));
  }
  std::error_code error;
  const std::filesystem::path link = std::filesystem::read_symlink("/etc/localtime", error);
  if (!error) candidates.push_back(ZoneNameIn(link.string()));
  for (const std::string& candidate : candidates) {
    if (std::optional<std::string> zone = KnownTimeZone(candidate)) return *zone;
  }
  return "UTC";
}

}  // namespace tallygate::collector
