#include "collector/poll/store_watch.h"

#include <string>

#include "collector/base/log.h"

namespace tallygate::collector {

void WatchStore(Store& store, PunchSignal* stored) {
  StoreEvents events;
  if (stored != nullptr) events.stored = [stored] { stored->Stored(); };
  events.unanswered = [](const std::string& error) {
    Log(LogLevel::kWarning, "the store does not answer: " + error +
                                "; polls are tried again with backoff, and no terminal is"
                                " cleared until the store has committed all its records");
  };
  events.answered = [described = store.Describe()] {
    Log(LogLevel::kInfo, "the store answers again: " + described);
  };
  store.Tell(std::move(events));
}

}  // namespace tallygate::collector
