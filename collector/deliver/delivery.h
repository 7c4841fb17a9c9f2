// Delivery onward: one thread per [[deliver]] sink of the configuration,
// each on its own store connection (docs/collector.md, "Delivery").
#ifndef TALLYGATE_COLLECTOR_DELIVER_DELIVERY_H_
#define TALLYGATE_COLLECTOR_DELIVER_DELIVERY_H_

#include <memory>
#include <thread>
#include <vector>

#include "collector/config/config.h"
#include "collector/deliver/sink_worker.h"
#include "collector/feed/punch_signal.h"

namespace tallygate::collector {

class Delivery {
 public:
  // Starts delivering to every sink of `config`; `stored` wakes them when
  // punches were stored.
  Delivery(const CollectorConfig& config, PunchSignal& stored);
  // Stops the sinks; a request in flight is given up (its batch is sent
  // again by the next start).
  ~Delivery();
  Delivery(const Delivery&) = delete;
  Delivery& operator=(const Delivery&) = delete;

 private:
  std::vector<std::unique_ptr<SinkWorker>> sinks_;
  std::vector<std::jthread> threads_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_DELIVERY_H_
