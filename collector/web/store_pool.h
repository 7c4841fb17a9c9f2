// The dashboard's own connections to the store, apart from the poller's:
// a request takes one (opened when none is free) and gives it back, so
// the web never waits for a poll and a poll never waits for the web (on
// SQLite, WAL lets readers run beside the writer). There are at most as
// many as requests served at once.
#ifndef TALLYGATE_COLLECTOR_WEB_STORE_POOL_H_
#define TALLYGATE_COLLECTOR_WEB_STORE_POOL_H_

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collector/store/store.h"

namespace tallygate::collector::web {

class StorePool {
 public:
  using Opener = std::function<std::unique_ptr<Store>(const std::string& database)>;

  explicit StorePool(std::string database, Opener open = OpenStore);

  // One connection for one request; back to the pool when it goes, unless
  // it failed (Broken) or the database changed meanwhile.
  class Lease {
   public:
    Lease(StorePool& pool, std::unique_ptr<Store> store, uint64_t generation)
        : pool_(pool), store_(std::move(store)), generation_(generation) {}
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    Store& operator*() const { return *store_; }
    Store* operator->() const { return store_.get(); }
    // The connection failed: it is closed instead of kept.
    void Broken() { broken_ = true; }

   private:
    StorePool& pool_;
    std::unique_ptr<Store> store_;
    uint64_t generation_;
    bool broken_ = false;
  };

  // A free connection, or a new one. Throws StoreError.
  std::unique_ptr<Lease> Take();

  // Connections from now on go to `database` (after a reload).
  void SetDatabase(const std::string& database);

 private:
  void Give(std::unique_ptr<Store> store, uint64_t generation);

  Opener open_;
  std::mutex mutex_;
  std::string database_;
  uint64_t generation_ = 0;
  std::vector<std::unique_ptr<Store>> free_;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_STORE_POOL_H_
