#include "collector/poll/punch_values.h"

#include <date/tz.h>

#include <algorithm>

#include "collector/cards/held_name.h"
#include "collector/config/time_zone.h"

namespace tallygate::collector {
namespace {

const date::time_zone* FindZone(const std::string& zone) {
  try {
    return date::locate_zone(zone);
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

std::optional<UtcTime> ToUtc(LocalTime local, const std::string& zone) {
  const std::lock_guard hold(TimeZoneLibraryLock());
  const date::time_zone* found = FindZone(zone);
  if (found == nullptr) return std::nullopt;
  const date::local_seconds there{local.time_since_epoch()};
  const auto utc = found->to_sys(there, date::choose::earliest);
  return UtcTime{utc.time_since_epoch()};
}

LocalTime LocalNow(const std::string& zone) {
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  const std::lock_guard hold(TimeZoneLibraryLock());
  const date::time_zone* found = FindZone(zone);
  if (found == nullptr) found = date::current_zone();
  return LocalTime{found->to_local(now).time_since_epoch()};
}

Punch PunchOf(const AttendanceRecord& record, const std::string& zone) {
  Punch punch;
  punch.position = record.position;
  punch.bytes = record.record_bytes();
  punch.card = record.card;
  punch.local = record.time;
  if (record.time) punch.utc = ToUtc(*record.time, zone);
  punch.flag = record.flag;
  punch.keep = record.keep;
  punch.raw = record.raw;
  return punch;
}

CardEntry CardOf(const tallygate::CardEntry& entry) {
  CardEntry card;
  card.position = entry.position;
  card.card = entry.card;
  card.staff = entry.staff;
  card.name = WithoutPadding(entry.name);
  card.raw_name.assign(entry.name_raw.begin(), entry.name_raw.end());
  return card;
}

}  // namespace tallygate::collector
