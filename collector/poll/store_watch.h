// What the poller's store tells the service: punches committed wake those
// who follow the store, and a store that stops answering is logged once, as
// a warning naming it, and again when it answers.
#ifndef TALLYGATE_COLLECTOR_POLL_STORE_WATCH_H_
#define TALLYGATE_COLLECTOR_POLL_STORE_WATCH_H_

#include "collector/feed/punch_signal.h"
#include "collector/store/store.h"

namespace tallygate::collector {

// Called before `store` is shared; `stored`, when given, outlives it.
void WatchStore(Store& store, PunchSignal* stored);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_STORE_WATCH_H_
