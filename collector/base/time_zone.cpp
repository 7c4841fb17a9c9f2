#include "collector/base/time_zone.h"

#include <date/tz.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>


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

// The zone `zone` names; null when the zone database does not know it.
// Called under TimeZoneLibraryLock().
const date::time_zone* FindZone(const std::string& zone) {
  try {
    return date::locate_zone(zone);
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

std::mutex& TimeZoneLibraryLock() {
  static std::mutex lock;
  return lock;
}

std::optional<std::string> KnownTimeZone(const std::string& name) {
  if (name.empty()) return std::nullopt;
  const std::lock_guard hold(TimeZoneLibraryLock());
  const date::time_zone* found = FindZone(name);  // unknown, or no zone database at all
  if (found == nullptr) return std::nullopt;
  return std::string(found->name());
}

std::optional<UtcTime> ToUtc(LocalTime local, const std::string& zone) {
  const std::lock_guard hold(TimeZoneLibraryLock());
  const date::time_zone* found = FindZone(zone);
  if (found == nullptr) return std::nullopt;
  const date::local_seconds there{local.time_since_epoch()};
  const auto utc = found->to_sys(there, date::choose::earliest);
  return UtcTime{utc.time_since_epoch()};
}

UtcTime UtcNow() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

LocalTime ToLocal(UtcTime utc, const std::string& zone) {
  const std::lock_guard hold(TimeZoneLibraryLock());
  const date::time_zone* found = FindZone(zone);
  if (found == nullptr) found = date::current_zone();
  return LocalTime{found->to_local(utc).time_since_epoch()};
}

LocalTime LocalNow(const std::string& zone) {
  return ToLocal(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()), zone);
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
