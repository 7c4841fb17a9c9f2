// `tallygate-collector run`: polls the fleet until SIGTERM or SIGINT (then
// finishes the page it is storing and returns 0); SIGHUP rereads the
// configuration and goes on with the new one (a configuration with a
// mistake is logged and the old one kept).
#ifndef TALLYGATE_COLLECTOR_APP_SERVICE_H_
#define TALLYGATE_COLLECTOR_APP_SERVICE_H_

#include <filesystem>
#include <functional>
#include <stop_token>

#include "collector/config/config.h"

namespace tallygate::collector {

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (and so in every
// thread started after it); the service waits for them with sigwait.
void BlockServiceSignals();

// Runs `work` on a thread of its own, with a stop token that SIGTERM or
// SIGINT requests (signals blocked first); returns what `work` returns.
int RunStoppable(const std::function<int(std::stop_token)>& work);

// Returns the exit status.
int RunService(const std::filesystem::path& config_file, CollectorConfig config);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_SERVICE_H_
