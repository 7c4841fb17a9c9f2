// `tallygate-collector run`: polls the fleet until SIGTERM or SIGINT (then
// finishes the page it is storing and returns 0; a store call that does not
// return within kStopGrace is not waited for); SIGHUP rereads the
// configuration and goes on with the new one (a configuration with a
// mistake is logged and the old one kept). Both are answered in every
// state: while the store is opened, while the fleet polls, while a call to
// the store waits for a server that does not answer. With [http] listen or --http it
// serves the web dashboard beside the fleet; a changed [http] takes effect
// at the next start.
#ifndef TALLYGATE_COLLECTOR_APP_SERVICE_H_
#define TALLYGATE_COLLECTOR_APP_SERVICE_H_

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "collector/config/config.h"

namespace tallygate::collector {

// Blocks SIGTERM, SIGINT and SIGHUP in the calling thread (and so in every
// thread started after it); the service waits for them with sigwait.
void BlockServiceSignals();

// Runs `work` on a thread of its own, with a stop token that SIGTERM or
// SIGINT requests (signals blocked first); returns what `work` returns. A
// stop that `work` has not honoured within kStopGrace (a call to `store`
// that does not return) ends the process with exit status 1, the store's
// failure.
int RunStoppable(const std::string& store, const std::function<int(std::stop_token)>& work);

// Returns the exit status: 0 when stopped; 2 when the dashboard may not
// start as configured (off loopback without a token, a token file that
// cannot be read); 1 when it cannot listen. `http_listen`, when not
// empty, replaces [http] listen.
int RunService(const std::filesystem::path& config_file, CollectorConfig config,
               const std::string& http_listen);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_SERVICE_H_
