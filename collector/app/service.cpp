#include "collector/app/service.h"

#include <csignal>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "collector/app/stop_deadline.h"
#include "collector/app/task.h"
#include "collector/deliver/delivery.h"
#include "collector/holders/holder_sources.h"
#include "collector/feed/postgres_listener.h"
#include "collector/feed/punch_signal.h"
#include "collector/poll/fleet.h"
#include "collector/base/log.h"
#include "collector/base/poll_metrics.h"
#include "collector/poll/store_watch.h"
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

using std::chrono::milliseconds;

// How often the main thread looks whether a task it waits for has ended.
constexpr milliseconds kLook{100};

// The next of the service's signals, or 0 when `wait` passed first.
int NextSignal(milliseconds wait) {
  const sigset_t set = ServiceSignals();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
  timespec timeout{static_cast<time_t>(seconds.count()),
                   static_cast<long>(std::chrono::nanoseconds(wait - seconds).count())};
  const int signal = sigtimedwait(&set, nullptr, &timeout);
  return signal > 0 ? signal : 0;
}

bool IsStop(int signal) { return signal == SIGTERM || signal == SIGINT; }

// The configuration read again on SIGHUP; nothing (and a logged error) when
// the file has a mistake.
std::optional<CollectorConfig> Reread(const std::filesystem::path& config_file) {
  try {
    CollectorConfig config = LoadConfig(config_file);
    Log(LogLevel::kInfo, "configuration reread from " + config_file.string());
    for (const std::string& warning : config.warnings) Log(LogLevel::kWarning, warning);
    return config;
  } catch (const ConfigError& e) {
    Log(LogLevel::kError, std::string("configuration not changed: ") + e.what());
    return std::nullopt;
  }
}

std::string StoreCall(const std::string& described) {
  return "a call to the store " + described;
}

std::string StoreOpening(const std::string& database) {
  return "the store " + WithoutPassword(database) + " to open";
}

// One attempt to open a store, on a task of its own.
struct Opening {
  explicit Opening(std::string named) : database(std::move(named)) {}
  const std::string database;
  std::unique_ptr<Store> store;
  std::string error;
};

// Attempts to open a store that the service no longer waits for (a reload
// named another store, or a stop came): each closes what it opened when it
// ends, and is joined then, or when the service ends.
class LeftBehind {
 public:
  void Add(std::unique_ptr<Task> task, const std::string& database) {
    std::erase_if(tasks_, [](const Attempt& old) { return old.task->Finished(); });
    if (!task->Finished()) tasks_.push_back({std::move(task), database});
  }
  // What the service's end still waits for, if anything: for the stop's
  // deadline to name.
  std::optional<std::string> Waiting() const {
    for (const Attempt& attempt : tasks_) {
      if (!attempt.task->Finished()) return StoreOpening(attempt.database);
    }
    return std::nullopt;
  }

 private:
  struct Attempt {
    std::unique_ptr<Task> task;
    std::string database;
  };
  std::vector<Attempt> tasks_;
};

// Opens the store `config` names, trying again with a growing wait while it
// cannot be opened (the records wait on the terminals meanwhile). SIGHUP
// meanwhile rereads the configuration (`reloaded` is told of a new one) and
// tries its store at once, even while an attempt on the old one waits for a
// server that does not answer. Null when a stop signal came first
// (`deadline` then counts). Punches it stores are told to `stored`.
std::unique_ptr<Store> OpenStoreWaiting(
    const std::filesystem::path& config_file, std::shared_ptr<const CollectorConfig>& config,
    const std::function<void(const std::shared_ptr<const CollectorConfig>&)>& reloaded,
    LeftBehind& left_behind, StopDeadline& deadline, PunchSignal& stored) {
  int wait = 5;
  for (;;) {
    auto opening = std::make_shared<Opening>(config->database);
    auto task = std::make_unique<Task>([opening] {
      try {
        opening->store = OpenStore(opening->database);
      } catch (const StoreError& e) {
        opening->error = e.what();
      }
    });
    std::optional<std::chrono::steady_clock::time_point> retry;  // after a failure
    bool again = false;
    while (!again) {
      if (!retry && task->Finished()) {
        if (opening->store) {
          WatchStore(*opening->store, &stored);
          return std::move(opening->store);
        }
        Log(LogLevel::kError, "store unusable: " + opening->error + "; trying again in " +
                                  std::to_string(wait) + " s");
        retry = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
      }
      const auto now = std::chrono::steady_clock::now();
      if (retry && now >= *retry) {
        wait = std::min(wait * 2, 300);
        break;
      }
      const int signal =
          NextSignal(retry ? std::chrono::ceil<milliseconds>(*retry - now) : kLook);
      if (IsStop(signal)) {
        deadline.Start(0, StoreOpening(opening->database));
        left_behind.Add(std::move(task), opening->database);
        return nullptr;
      }
      if (signal != SIGHUP) continue;
      std::optional<CollectorConfig> reread = Reread(config_file);
      if (!reread) continue;
      const bool other_store = reread->database != config->database;
      config = std::make_shared<const CollectorConfig>(std::move(*reread));
      reloaded(config);
      // The same store, still being opened: that attempt goes on.
      again = other_store || retry.has_value();
    }
    wait = again ? 5 : wait;
    left_behind.Add(std::move(task), opening->database);
  }
}

// The dashboard, when [http] or --http asks for one, listening; null when
// none is asked for. Sets `status` and returns null when it cannot start.
std::unique_ptr<web::WebServer> StartDashboard(const CollectorConfig& config,
                                               const std::string& http_listen,
                                               PollMetrics& metrics, PunchSignal& stored,
                                               int& status) {
  const std::string listen = http_listen.empty() ? config.http.listen : http_listen;
  if (listen.empty()) return nullptr;
  try {
    web::WebOptions options = web::WebOptionsFor(config, http_listen);
    options.stored = &stored;
    auto server = std::make_unique<web::WebServer>(std::move(options), &metrics);
    server->Start();
    Log(LogLevel::kInfo, std::string("dashboard at ") + (server->tls() ? "https://" : "http://") +
                             listen + "/");
    return server;
  } catch (const web::WebStartError& e) {
    Log(LogLevel::kError, e.what());
    status = 1;
  } catch (const Failure& e) {
    Log(LogLevel::kError, e.what());
    status = 2;
  }
  return nullptr;
}

// What the listener for other collectors' punches has to say.
void ListenerReport(const std::string& text, bool failed) {
  Log(failed ? LogLevel::kWarning : LogLevel::kInfo, text);
}

bool SameHttp(const HttpConfig& a, const HttpConfig& b) {
  return a.listen == b.listen && a.token_file == b.token_file &&
         a.admin_token_file == b.admin_token_file && a.tls_cert_file == b.tls_cert_file &&
         a.tls_key_file == b.tls_key_file;
}

}  // namespace

void BlockServiceSignals() {
  const sigset_t set = ServiceSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int RunStoppable(const std::string& store, const std::function<int(std::stop_token)>& work) {
  BlockServiceSignals();
  StopDeadline deadline;
  std::stop_source stop;
  int status = 0;
  Task worker([&] { status = work(stop.get_token()); });
  while (!worker.Finished()) {
    // A poll cut short by a store that does not answer is a store failure.
    if (IsStop(NextSignal(kLook)) && stop.request_stop()) deadline.Start(1, StoreCall(store));
  }
  return status;
}

namespace {

// What the service holds across its configurations.
struct ServiceParts {
  const std::filesystem::path& config_file;
  StopDeadline& deadline;
  PollMetrics& metrics;
  PunchSignal& stored;
  web::WebServer* server;  // null without a dashboard
  LeftBehind& left_behind;
  // SIGHUP reads the dashboard's certificate and key again, besides the
  // configuration.
  void ReloadTls() const {
    if (server != nullptr) server->ReloadTls();
  }
};

// Polls and delivers with `config` into `store` until a stop signal (then
// the service's end: null), or SIGHUP with a configuration that reads (the
// one returned, once the workers of this one have ended).
std::optional<CollectorConfig> RunWith(const ServiceParts& parts,
                                       const std::shared_ptr<const CollectorConfig>& config,
                                       Store& store) {
  Log(LogLevel::kInfo, "polling " + std::to_string(config->terminals.size()) +
                           " terminals into " + store.Describe());
  std::stop_source stop;
  Fleet fleet(*config, store, &parts.metrics);
  Delivery delivery(*config, parts.stored);
  HolderSources holder_sources(*config);
  if (parts.server != nullptr) {
    parts.server->Attach(config, [&fleet](const std::string& name) { return fleet.PollNow(name); });
  }
  Task workers([&] { fleet.Run(stop.get_token()); });
  std::optional<CollectorConfig> reread;
  bool stopping = false;
  while (!reread && !stopping) {
    const int signal = NextSignal(std::chrono::hours(1));
    stopping = IsStop(signal);
    if (signal == SIGHUP) {
      reread = Reread(parts.config_file);
      parts.ReloadTls();
    }
  }
  if (parts.server != nullptr) parts.server->Attach(config, nullptr);  // before the fleet goes
  stop.request_stop();
  // The workers end once the store call in flight returns, within the
  // store's limit; meanwhile a stop signal is answered, and SIGHUP
  // rereads again.
  while (!stopping && !workers.Finished()) {
    const int signal = NextSignal(kLook);
    stopping = IsStop(signal);
    if (signal != SIGHUP) continue;
    parts.ReloadTls();
    if (std::optional<CollectorConfig> again = Reread(parts.config_file)) reread = std::move(again);
  }
  if (!stopping) return reread;
  parts.stored.Stop();  // the live feed's streams end
  parts.deadline.Start(0, StoreCall(store.Describe()));
  workers.Join();
  Log(LogLevel::kInfo, "stopped");
  if (std::optional<std::string> waiting = parts.left_behind.Waiting()) {
    parts.deadline.NowWaitingFor(*waiting);
  }
  return std::nullopt;
}

}  // namespace

int RunService(const std::filesystem::path& config_file, CollectorConfig first_config,
               const std::string& http_listen) {
  // First, so that it watches the end of everything after it.
  StopDeadline deadline;
  PollMetrics metrics;
  PunchSignal stored;
  // On PostgreSQL, punches other collectors store on the same database.
  std::unique_ptr<PostgresListener> others =
      ListenerFor(first_config.database, stored, ListenerReport);
  int status = 0;
  const std::unique_ptr<web::WebServer> server =
      StartDashboard(first_config, http_listen, metrics, stored, status);
  if (status != 0) return status;
  auto config = std::make_shared<const CollectorConfig>(std::move(first_config));
  if (server) server->Attach(config, nullptr);
  LeftBehind left_behind;
  const ServiceParts parts{config_file, deadline, metrics, stored, server.get(), left_behind};
  const auto reloaded = [&](const std::shared_ptr<const CollectorConfig>& changed) {
    if (server) server->Attach(changed, nullptr);
    parts.ReloadTls();
  };
  std::unique_ptr<Store> store =
      OpenStoreWaiting(config_file, config, reloaded, left_behind, deadline, stored);
  if (!store) return 0;
  for (;;) {
    std::optional<CollectorConfig> reread = RunWith(parts, config, *store);
    if (!reread) return 0;
    if (!SameHttp(reread->http, config->http)) {
      Log(LogLevel::kWarning, "[http] changed: the dashboard keeps its address and token until "
                              "the collector is restarted");
    }
    const bool other_store = reread->database != config->database;
    config = std::make_shared<const CollectorConfig>(std::move(*reread));
    if (other_store) {
      store.reset();
      store = OpenStoreWaiting(config_file, config, reloaded, left_behind, deadline, stored);
      if (!store) return 0;
      others = ListenerFor(config->database, stored, ListenerReport);
    }
  }
}

}  // namespace tallygate::collector
