// A sink that POSTs batches of punches as JSON to a URL (docs/collector.md,
// "Delivery"). A batch's delivery id is drawn when it begins and kept in
// the store, so that every retry of it, across restarts too, carries the
// same punches under the same id.
#ifndef TALLYGATE_COLLECTOR_DELIVER_WEBHOOK_SINK_H_
#define TALLYGATE_COLLECTOR_DELIVER_WEBHOOK_SINK_H_

#include <string>

#include "collector/deliver/batch_rows.h"
#include "collector/hr/http_client.h"
#include "collector/deliver/sink_worker.h"

namespace tallygate::collector {

// How an answer ends a try: 2xx delivered; no answer, 408, 429 and 5xx
// tried again; anything else refused, with the answer as the reason.
Attempt AttemptOf(const HttpAnswer& answer);

class WebhookSink final : public SinkWorker {
 public:
  using SinkWorker::SinkWorker;

 private:
  std::optional<int64_t> NextBatch(PunchReader& punches, int64_t position) override;
  std::chrono::steady_clock::time_point Wake() override;
  void Begin(SinkState& state) override;
  Attempt Try(PunchReader& punches, SinkLedger& sinks, SinkState& state) override;

  BatchRows rows_;
  HttpClient client_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_WEBHOOK_SINK_H_
