#include "collector/web/store_pool.h"

namespace tallygate::collector::web {

StorePool::StorePool(std::string database, Opener open)
    : open_(std::move(open)), database_(std::move(database)) {}

StorePool::Lease::~Lease() {
  if (!broken_) pool_.Give(std::move(store_), generation_);
}

std::unique_ptr<StorePool::Lease> StorePool::Take() {
  std::string database;
  uint64_t generation = 0;
  {
    const std::lock_guard lock(mutex_);
    generation = generation_;
    if (!free_.empty()) {
      std::unique_ptr<Store> store = std::move(free_.back());
      free_.pop_back();
      return std::make_unique<Lease>(*this, std::move(store), generation);
    }
    database = database_;
  }
  // Opened outside the lock: a database that is slow to answer holds up
  // only the request that asked.
  return std::make_unique<Lease>(*this, open_(database), generation);
}

void StorePool::SetDatabase(const std::string& database) {
  const std::lock_guard lock(mutex_);
  if (database == database_) return;
  database_ = database;
  ++generation_;
  free_.clear();
}

void StorePool::Give(std::unique_ptr<Store> store, uint64_t generation) {
  const std::lock_guard lock(mutex_);
  if (generation == generation_) free_.push_back(std::move(store));
}

}  // namespace tallygate::collector::web
