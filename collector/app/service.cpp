#include "collector/app/service.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "collector/poll/fleet.h"
#include "collector/poll/log.h"
#include "collector/poll/poll_metrics.h"
#include "collector/poll/serialized_store.h"
#include "collector/web/web_server.h"

namespace tallygate::collector {
namespace {

sigset_t ServiceSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

// The next of the service's signals, or 0 when `seconds` passed first.
int NextSignal(int seconds) {
  const sigset_t set = ServiceSignals();
  timespec wait{seconds, 0};
  const int signal = sigtimedwait(&set, nullptr, &wait);
  return signal > 0 ? signal : 0;
}

// The configuration read again on SIGHUP; nothing (and a logged error) when
// the file has a mistake.
std::optional<CollectorConfig> Reread(const std::filesystem::path& config_file) {
  try {
    CollectorConfig config = LoadConfig(config_file);
    Log(LogLevel::kInfo, "configuration reread from " + config_file.string());
    return config;
  } catch (const ConfigError& e) {
    Log(LogLevel::kError, std::string("configuration not changed: ") + e.what());
    return std::nullopt;
  }
}

// Opens the store `config` names, trying again with a growing wait while it
// cannot be opened (the records wait on the terminals meanwhile). SIGHUP
// meanwhile rereads the configuration (`reloaded` is told of a new one) and
// tries its store at once. Null when a stop signal came first.
std::unique_ptr<Store> OpenStoreWaiting(
    const std::filesystem::path& config_file, std::shared_ptr<const CollectorConfig>& config,
    const std::function<void(const std::shared_ptr<const CollectorConfig>&)>& reloaded) {
  int wait = 5;
  for (;;) {
    try {
      return std::make_unique<SerializedStore>(OpenStore(config->database));
    } catch (const StoreError& e) {
      Log(LogLevel::kError, std::string("store unusable: ") + e.what() + "; trying again in " +
                                std::to_string(wait) + " s");
    }
    const int signal = NextSignal(wait);
    if (signal == SIGTERM || signal == SIGINT) return nullptr;
    if (signal == SIGHUP) {
      if (std::optional<CollectorConfig> reread = Reread(config_file)) {
        config = std::make_shared<const CollectorConfig>(std::move(*reread));
        reloaded(config);
      }
      wait = 5;
      continue;
    }
    wait = std::min(wait * 2, 300);
  }
}

// The dashboard, when [http] or --http asks for one, listening; null when
// none is asked for. Sets `status` and returns null when it cannot start.
std::unique_ptr<web::WebServer> StartDashboard(const CollectorConfig& config,
                                               const std::string& http_listen,
                                               PollMetrics& metrics, int& status) {
  const std::string listen = http_listen.empty() ? config.http.listen : http_listen;
  if (listen.empty()) return nullptr;
  try {
    auto server = std::make_unique<web::WebServer>(web::WebOptionsFor(config, http_listen),
                                                   &metrics);
    server->Start();
    Log(LogLevel::kInfo, "dashboard at http://" + listen + "/");
    return server;
  } catch (const web::WebStartError& e) {
    Log(LogLevel::kError, e.what());
    status = 1;
  } catch (const std::runtime_error& e) {
    Log(LogLevel::kError, e.what());
    status = 2;
  }
  return nullptr;
}

bool SameHttp(const HttpConfig& a, const HttpConfig& b) {
  return a.listen == b.listen && a.token_file == b.token_file;
}

}  // namespace

void BlockServiceSignals() {
  const sigset_t set = ServiceSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int RunStoppable(const std::function<int(std::stop_token)>& work) {
  BlockServiceSignals();
  std::stop_source stop;
  std::atomic<bool> finished = false;
  int status = 0;
  std::thread worker([&] {
    status = work(stop.get_token());
    finished = true;
  });
  while (!finished) {
    const int signal = NextSignal(1);
    if (signal == SIGTERM || signal == SIGINT) stop.request_stop();
  }
  worker.join();
  return status;
}

int RunService(const std::filesystem::path& config_file, CollectorConfig first_config,
               const std::string& http_listen) {
  PollMetrics metrics;
  int status = 0;
  const std::unique_ptr<web::WebServer> server =
      StartDashboard(first_config, http_listen, metrics, status);
  if (status != 0) return status;
  auto config = std::make_shared<const CollectorConfig>(std::move(first_config));
  if (server) server->Attach(config, nullptr);
  const auto reloaded = [&](const std::shared_ptr<const CollectorConfig>& changed) {
    if (server) server->Attach(changed, nullptr);
  };
  std::unique_ptr<Store> store = OpenStoreWaiting(config_file, config, reloaded);
  if (!store) return 0;
  for (;;) {
    Log(LogLevel::kInfo, "polling " + std::to_string(config->terminals.size()) +
                             " terminals into " + store->Describe());
    std::stop_source stop;
    Fleet fleet(*config, *store, &metrics);
    if (server) {
      server->Attach(config, [&fleet](const std::string& name) { return fleet.PollNow(name); });
    }
    std::thread workers([&] { fleet.Run(stop.get_token()); });
    int signal = 0;
    std::optional<CollectorConfig> reread;
    while (!reread) {
      signal = NextSignal(3600);
      if (signal == SIGTERM || signal == SIGINT) break;
      if (signal == SIGHUP) reread = Reread(config_file);
    }
    if (server) server->Attach(config, nullptr);  // before the fleet goes
    stop.request_stop();
    workers.join();
    if (!reread) {
      Log(LogLevel::kInfo, "stopped");
      return 0;
    }
    if (!SameHttp(reread->http, config->http)) {
      Log(LogLevel::kWarning, "[http] changed: the dashboard keeps its address and token until "
                              "the collector is restarted");
    }
    const bool other_store = reread->database != config->database;
    config = std::make_shared<const CollectorConfig>(std::move(*reread));
    if (other_store) {
      store.reset();
      store = OpenStoreWaiting(config_file, config, reloaded);
      if (!store) return 0;
    }
  }
}

}  // namespace tallygate::collector
