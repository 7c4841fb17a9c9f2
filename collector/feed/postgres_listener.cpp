#include "collector/feed/postgres_listener.h"

#include <algorithm>

#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr std::chrono::seconds kFirstRetry{1};
constexpr std::chrono::seconds kLastRetry{60};

// Waits `wait`, in steps of kListenLook; false when a stop came first.
bool Pause(std::chrono::seconds wait, const std::stop_token& stop) {
  const auto until = std::chrono::steady_clock::now() + wait;
  while (!stop.stop_requested() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(kListenLook);
  }
  return !stop.stop_requested();
}

}  // namespace

PostgresListener::PostgresListener(std::string database, PunchSignal& signal, Report report)
    : database_(std::move(database)),
      signal_(signal),
      report_(std::move(report)),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

PostgresListener::~PostgresListener() = default;  // the jthread asks to stop, then joins

void PostgresListener::Run(std::stop_token stop) {
  std::chrono::seconds retry = kFirstRetry;
  bool lost = false;
  while (!stop.stop_requested()) {
    try {
      const std::unique_ptr<PunchNews> news = ListenForPunches(database_);
      if (lost) {
        report_("listening for other collectors' punches again", false);
        signal_.Stored();
      }
      lost = false;
      retry = kFirstRetry;
      while (!stop.stop_requested()) {
        if (news->Wait(kListenLook) > 0) signal_.Stored();
      }
    } catch (const StoreError& e) {
      if (!lost) {
        report_(std::string("not listening for other collectors' punches: ") + e.what() +
                    "; trying again",
                true);
      }
      lost = true;
      if (!Pause(retry, stop)) return;
      retry = std::min(retry * 2, kLastRetry);
    }
  }
}

std::unique_ptr<PostgresListener> ListenerFor(const std::string& database, PunchSignal& signal,
                                              PostgresListener::Report report) {
  if (!IsPostgres(database)) return nullptr;
  return std::make_unique<PostgresListener>(database, signal, std::move(report));
}

}  // namespace tallygate::collector
