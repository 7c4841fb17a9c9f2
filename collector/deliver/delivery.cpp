#include "collector/deliver/delivery.h"

#include "collector/deliver/folder_sink.h"
#include "collector/deliver/webhook_sink.h"

namespace tallygate::collector {

Delivery::Delivery(const CollectorConfig& config, PunchSignal& stored) {
  for (const DeliverConfig& sink : config.deliveries) {
    if (sink.kind == DeliverConfig::Kind::kWebhook) {
      sinks_.push_back(std::make_unique<WebhookSink>(sink, config.database, stored));
    } else {
      sinks_.push_back(std::make_unique<FolderSink>(sink, config.database, stored));
    }
  }
  for (const auto& sink : sinks_) {
    threads_.emplace_back([worker = sink.get()](std::stop_token stop) { worker->Run(stop); });
  }
}

Delivery::~Delivery() {
  for (std::jthread& thread : threads_) thread.request_stop();
  threads_.clear();  // joins
}

}  // namespace tallygate::collector
