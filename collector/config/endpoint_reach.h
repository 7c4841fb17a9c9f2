// Where a terminal entry's line goes, as far as can be told while the
// configuration is read: the addresses its host name resolves to now, the
// device file its serial path names (through links such as
// /dev/serial/by-id/...). Two entries that share a place and a bus address
// reach one terminal.
#ifndef TALLYGATE_COLLECTOR_CONFIG_ENDPOINT_REACH_H_
#define TALLYGATE_COLLECTOR_CONFIG_ENDPOINT_REACH_H_

#include <string>
#include <vector>

#include "collector/config/terminal_entry.h"

namespace tallygate::collector {

struct Place {
  std::string key;    // the same for one place however it is written
  std::string shown;  // for messages: "127.0.0.1:1001", "/dev/ttyUSB0"
};

struct Reach {
  // TCP: one per address of the host; serial: the device.
  std::vector<Place> places;
  // The endpoint as written, in one form per spelling that can only mean
  // one thing: "tcp://[::1]:1001" for "[::0:1]", names in lower case.
  std::string written;
  // What it resolved to, for messages: "127.0.0.1, ::1", "/dev/ttyUSB0".
  std::string resolved;
  // Why a host name did not resolve: it then stands for itself, as written.
  std::string unresolved;
};

// Each entry's reach, in their order. Host names are looked up now, several
// at once; an address written as one is not looked up.
std::vector<Reach> ReachOf(const std::vector<TerminalEntry>& entries);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_ENDPOINT_REACH_H_
