// The service's reading of every [[holders_from]]: each source on a thread
// of its own, read at the start (so at every SIGHUP, which starts the
// service's workers again) and then every `every`.
#ifndef TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCES_H_
#define TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCES_H_

#include <thread>
#include <vector>

#include "collector/base/punch.h"
#include "collector/config/config.h"

namespace tallygate::collector {

class HolderSources {
 public:
  explicit HolderSources(const CollectorConfig& config);
  // Stops the reads; one in flight is given up, and changes nothing.
  ~HolderSources();
  HolderSources(const HolderSources&) = delete;
  HolderSources& operator=(const HolderSources&) = delete;

 private:
  std::vector<std::jthread> threads_;
};

// Today on the calendar of `zone`: the host's, for a read (a joining date
// ahead is compared with it).
LocalDay Today(const std::string& zone);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_HOLDERS_HOLDER_SOURCES_H_
