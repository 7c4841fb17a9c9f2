#include "collector/holders/holder_sources.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "collector/base/log.h"
#include "collector/base/sleep.h"
#include "collector/base/time_zone.h"
#include "collector/cards/card_terminal.h"
#include "collector/holders/holder_source.h"
#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

// A read that could not be kept (the store failing) is tried again sooner
// than the next read, but not at once.
constexpr std::chrono::seconds kAfterFailure{30};

void ReadEvery(const HolderSourceConfig& source, const std::string& database,
               const std::vector<CardTerminal>& terminals, const std::string& zone,
               std::stop_token stop) {
  std::unique_ptr<Store> store;
  while (!stop.stop_requested()) {
    auto next = std::chrono::steady_clock::now() + source.every;
    try {
      if (!store) store = OpenStore(database);
      RunHolderSource(source, *store, terminals, Today(zone), SourceMode::kRead, stop);
    } catch (const std::exception& e) {
      Log(LogLevel::kWarning, "holder source " + source.name + ": " + e.what());
      store.reset();
      next = std::min(next, std::chrono::steady_clock::now() + kAfterFailure);
    }
    if (SleepUntil(next, stop)) return;
  }
}

}  // namespace

LocalDay Today(const std::string& zone) {
  return std::chrono::floor<std::chrono::days>(LocalNow(zone));
}

HolderSources::HolderSources(const CollectorConfig& config) {
  const std::vector<CardTerminal> terminals = CardTerminals(config);
  for (const HolderSourceConfig& source : config.holder_sources) {
    threads_.emplace_back([source, database = config.database, terminals,
                           zone = HostTimeZone()](std::stop_token stop) {
      ReadEvery(source, database, terminals, zone, stop);
    });
  }
}

HolderSources::~HolderSources() {
  for (std::jthread& thread : threads_) thread.request_stop();
  threads_.clear();  // joins
}

}  // namespace tallygate::collector
