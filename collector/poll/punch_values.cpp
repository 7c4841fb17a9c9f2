#include "collector/poll/punch_values.h"

#include <algorithm>

#include "collector/cards/held_name.h"
#include "collector/base/time_zone.h"

namespace tallygate::collector {

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
