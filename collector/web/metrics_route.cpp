// /metrics for Prometheus, /healthz for a load balancer or a check: 200
// "ok" when the store answers a trivial query, else 503 "unavailable".
#include "collector/base/poll_metrics.h"
#include "collector/web/access.h"
#include "collector/web/metrics_text.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"

namespace tallygate::collector::web {
namespace {

void Healthz(Dashboard& dashboard, const std::string& token, const httplib::Request& request,
             httplib::Response& response) {
  try {
    dashboard.WithStore([](Store& store) { store.Check(); });
    response.set_content("ok\n", "text/plain; charset=utf-8");
  } catch (const StoreError& e) {
    // /healthz is open to all, but the store's reason may name its host,
    // user and database: it goes only to those who may read the pages,
    // where a failing store shows the same reason. With a token, those who
    // present it; without one, anyone on this machine (the only ones a
    // dashboard without a token answers).
    response.status = 503;
    response.set_content(MayRead(token, request)
                             ? std::string("unavailable: store: ") + e.what() + "\n"
                             : std::string("unavailable\n"),
                         "text/plain; charset=utf-8");
  }
}

}  // namespace

void AddMetrics(httplib::Server& server, Dashboard& dashboard, const std::string& token) {
  server.Get("/metrics", Guarded([&dashboard](const httplib::Request&,
                                              httplib::Response& response) {
    const PollMetricsSnapshot polls =
        dashboard.metrics() != nullptr ? dashboard.metrics()->Snapshot() : PollMetricsSnapshot{};
    const std::vector<PendingCount> pending =
        dashboard.WithStore([](CardBook& store) { return store.PendingCardCounts(); });
    const UtcTime now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto config = dashboard.Config();
    const std::vector<SinkReport> sinks =
        dashboard.WithStore([&](Store& store) { return SinkReports(store, store, *config, now); });
    const std::vector<SourceRead> sources =
        dashboard.WithStore([](CardBook& store) { return store.SourceReads(); });
    response.set_content(MetricsText(CurrentTerminals(dashboard), polls, pending, now) +
                             SinkMetricsText(sinks) + SourceMetricsText(sources),
                         "text/plain; version=0.0.4; charset=utf-8");
  }));
  server.Get("/healthz", [&dashboard, token](const httplib::Request& request,
                                             httplib::Response& response) {
    Healthz(dashboard, token, request, response);
  });
}

}  // namespace tallygate::collector::web
