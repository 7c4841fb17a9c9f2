// Time zones by their IANA names, from the system's zoneinfo.
#ifndef TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_
#define TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_

#include <mutex>
#include <optional>
#include <string>

namespace tallygate::collector {

// The zone's name when the zone database knows it; nullopt otherwise.
std::optional<std::string> KnownTimeZone(const std::string& name);

// Held by every call into the zone library. It reads a zone's rules on the
// zone's first use, and two threads using a zone for the first time at once
// race inside it (ThreadSanitizer saw two pollers converting their first
// punches): the configuration read again on SIGHUP, the pollers and the
// dashboard all use it.
std::mutex& TimeZoneLibraryLock();

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_
