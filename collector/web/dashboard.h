// What the dashboard's handlers share: the store connections, the poll
// metrics, who may write, the places for downloads, and what the running
// service offers now (its configuration and "poll now"), replaced when the
// configuration is reread.
#ifndef TALLYGATE_COLLECTOR_WEB_DASHBOARD_H_
#define TALLYGATE_COLLECTOR_WEB_DASHBOARD_H_

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "collector/config/config.h"
#include "collector/base/poll_metrics.h"
#include "collector/web/downloads.h"
#include "collector/web/store_pool.h"
#include "collector/web/write_access.h"

namespace tallygate::collector::web {

using PollNowFunction = std::function<bool(const std::string& terminal)>;

class Dashboard {
 public:
  Dashboard(const std::string& database, PollMetrics* metrics,
            StorePool::Opener open = OpenStore, std::vector<AdminToken> admins = {})
      : pool_(database, std::move(open)), metrics_(metrics), access_(std::move(admins)) {}

  // The service's configuration and its fleet's PollNow (null while no
  // fleet runs). The configuration's database becomes the pool's.
  void Attach(std::shared_ptr<const CollectorConfig> config, PollNowFunction poll_now);

  // The attached configuration; an empty one before Attach.
  std::shared_ptr<const CollectorConfig> Config() const;

  // Asks the fleet to poll `terminal` now; false when no fleet runs or it
  // has no such terminal.
  bool PollNow(const std::string& terminal);

  // Runs `work(store)` on a connection of the pool. A StoreError closes
  // that connection, counts as a store error and goes on to the caller.
  template <class Work>
  auto WithStore(Work work) {
    std::unique_ptr<StorePool::Lease> lease = TakeStore();
    try {
      return work(**lease);
    } catch (const StoreError&) {
      lease->Broken();
      StoreFailed();
      throw;
    }
  }

  PollMetrics* metrics() const { return metrics_; }
  const WriteAccess& access() const { return access_; }
  Downloads& downloads() { return downloads_; }

 private:
  std::unique_ptr<StorePool::Lease> TakeStore();
  void StoreFailed();

  StorePool pool_;
  PollMetrics* metrics_;
  const WriteAccess access_;
  Downloads downloads_;
  mutable std::mutex mutex_;
  std::shared_ptr<const CollectorConfig> config_ = std::make_shared<CollectorConfig>();
  PollNowFunction poll_now_;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_DASHBOARD_H_
