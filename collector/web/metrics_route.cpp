// /metrics for Prometheus, /healthz for a load balancer or a check: 200
// "ok" when the store answers a trivial query, 503 with the reason.
#include "collector/poll/poll_metrics.h"
#include "collector/web/metrics_text.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"

namespace tallygate::collector::web {

void AddMetrics(httplib::Server& server, Dashboard& dashboard) {
  server.Get("/metrics", Guarded([&dashboard](const httplib::Request&,
                                              httplib::Response& response) {
    const PollMetricsSnapshot polls =
        dashboard.metrics() != nullptr ? dashboard.metrics()->Snapshot() : PollMetricsSnapshot{};
    response.set_content(MetricsText(CurrentTerminals(dashboard), polls),
                         "text/plain; version=0.0.4; charset=utf-8");
  }));
  server.Get("/healthz", [&dashboard](const httplib::Request&, httplib::Response& response) {
    try {
      dashboard.WithStore([](Store& store) { store.Check(); });
      response.set_content("ok\n", "text/plain; charset=utf-8");
    } catch (const StoreError& e) {
      response.status = 503;
      response.set_content(std::string("store: ") + e.what() + "\n", "text/plain; charset=utf-8");
    }
  });
}

}  // namespace tallygate::collector::web
