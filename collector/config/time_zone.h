// Time zones by their IANA names, from the system's zoneinfo.
#ifndef TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_
#define TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_

#include <optional>
#include <string>

namespace tallygate::collector {

// The zone's name when the zone database knows it; nullopt otherwise.
std::optional<std::string> KnownTimeZone(const std::string& name);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_TIME_ZONE_H_
