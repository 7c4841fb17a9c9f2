#include "collector/web/dashboard.h"

namespace tallygate::collector::web {

void Dashboard::Attach(std::shared_ptr<const CollectorConfig> config, PollNowFunction poll_now) {
  pool_.SetDatabase(config->database);
  const std::lock_guard lock(mutex_);
  config_ = std::move(config);
  poll_now_ = std::move(poll_now);
}

std::shared_ptr<const CollectorConfig> Dashboard::Config() const {
  const std::lock_guard lock(mutex_);
  return config_;
}

bool Dashboard::PollNow(const std::string& terminal) {
  // Under the lock: the service detaches before its fleet goes.
  const std::lock_guard lock(mutex_);
  return poll_now_ && poll_now_(terminal);
}

std::unique_ptr<StorePool::Lease> Dashboard::TakeStore() {
  try {
    return pool_.Take();
  } catch (const StoreError&) {
    StoreFailed();
    throw;
  }
}

void Dashboard::StoreFailed() {
  if (metrics_ != nullptr) metrics_->RecordStoreError();
}

}  // namespace tallygate::collector::web
