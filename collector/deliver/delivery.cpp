#include "collector/deliver/delivery.h"

#include "collector/deliver/erpnext_placer.h"
#include "collector/deliver/folder_sink.h"
#include "collector/deliver/hr_sink.h"
#include "collector/deliver/odoo_placer.h"
#include "collector/deliver/webhook_sink.h"

namespace tallygate::collector {

Delivery::Delivery(const CollectorConfig& config, PunchSignal& stored) {
  std::vector<SyncTerminal> terminals;
  for (const TerminalConfig& terminal : config.terminals) {
    terminals.push_back({terminal.name, terminal.time_zone});
  }
  for (const DeliverConfig& sink : config.deliveries) {
    switch (sink.kind) {
      case DeliverConfig::Kind::kWebhook:
        sinks_.push_back(std::make_unique<WebhookSink>(sink, config.database, stored));
        break;
      case DeliverConfig::Kind::kFolder:
        sinks_.push_back(std::make_unique<FolderSink>(sink, config.database, stored));
        break;
      case DeliverConfig::Kind::kErpnext:
        sinks_.push_back(std::make_unique<HrSink>(
            sink, config.database, stored, std::make_unique<ErpnextPlacer>(sink, terminals)));
        break;
      case DeliverConfig::Kind::kOdoo:
        sinks_.push_back(std::make_unique<HrSink>(
            sink, config.database, stored,
            std::make_unique<OdooPlacer>(sink, terminals, config.day_starts)));
        break;
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
