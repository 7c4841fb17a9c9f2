// Time zones by their IANA names, from the system's zoneinfo, and the
// terminals' local times placed in them.
#ifndef TALLYGATE_COLLECTOR_BASE_TIME_ZONE_H_
#define TALLYGATE_COLLECTOR_BASE_TIME_ZONE_H_

#include <mutex>
#include <optional>
#include <string>

#include "collector/base/punch.h"

namespace tallygate::collector {

// The zone's name when the zone database knows it; nullopt otherwise.
std::optional<std::string> KnownTimeZone(const std::string& name);

// The host's IANA zone: TZ's when it names one, else /etc/timezone's, else
// the one /etc/localtime links to; "UTC" when none can be found.
std::string HostTimeZone();

// The UTC time of `local` in the IANA zone `zone`; absent when the zone is
// unknown. A local time that falls twice (clocks going back) takes the
// earlier; one that does not exist (clocks going forward) takes the moment
// of the change.
std::optional<UtcTime> ToUtc(LocalTime local, const std::string& zone);

// Now, on the host's UTC clock, to the second.
UtcTime UtcNow();

// The local time of `utc` in `zone` (the host's zone when `zone` is unknown).
LocalTime ToLocal(UtcTime utc, const std::string& zone);

// The terminal's local time now, in `zone` (the host's UTC clock placed in
// the zone; the host's own zone when `zone` is unknown).
LocalTime LocalNow(const std::string& zone);

// Held by every call into the zone library. It reads a zone's rules on the
// zone's first use, and two threads using a zone for the first time at once
// race inside it (ThreadSanitizer saw two pollers converting their first
// punches): the configuration read again on SIGHUP, the pollers and the
// dashboard all use it.
std::mutex& TimeZoneLibraryLock();

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_TIME_ZONE_H_
