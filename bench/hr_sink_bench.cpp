// 10,000 punches delivered into each fake HR system on loopback, which
// answers at once: an ERPNext site (a check-in per punch), and an Odoo
// database through JSON-2 and through JSON-RPC (an attendance per employee
// and day: a search, then a create or a write, per punch). The sink runs as
// the service runs it, on its own store connection (SQLite) and one HTTP
// connection kept open. Prints the time, punches per second, and the
// receiver's requests per punch and per second, so that what bounds the
// rate (the requests each punch needs, or the collector) can be seen.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "bench/figures.h"
#include "collector/deliver/erpnext_placer.h"
#include "collector/deliver/hr_sink.h"
#include "collector/deliver/odoo_placer.h"
#include "collector/store/store.h"
#include "common/cli/command_line.h"
#include "fakes/hr/fake_frappe.h"
#include "fakes/hr/fake_odoo.h"
#include "tests/support/temp_dir.h"

namespace tallygate::bench {
namespace {

using namespace collector;
using namespace std::chrono_literals;

constexpr int kEmployees = 100;
constexpr uint32_t kFirstCard = 5000;

// `count` punches of kEmployees cards, a minute apart, over as many days as
// they need, stored as one collection of gate-1.
std::string StorePunches(const std::filesystem::path& folder, int count) {
  const std::string database = "sqlite:" + (folder / "punches.db").string();
  const std::unique_ptr<Store> store = OpenStore(database);
  store->SaveTerminal({"gate-1", "tcp://127.0.0.1:1", 1, "UTC"});
  store->ClaimTerminal("gate-1");
  Collection collection;
  collection.terminal = "gate-1";
  const int64_t id = store->BeginCollection(collection);
  std::vector<Punch> page;
  const LocalTime start{std::chrono::sys_days{std::chrono::year{2026} / 11 / 1}.time_since_epoch()};
  for (int i = 0; i < count; ++i) {
    Punch punch;
    punch.position = i;
    punch.card = kFirstCard + static_cast<uint32_t>(i % kEmployees);
    punch.local = start + std::chrono::minutes(i);
    punch.utc = UtcTime{punch.local->time_since_epoch()};
    punch.flag = 1;
    for (size_t b = 0; b < 4; ++b) punch.bytes[b] = static_cast<uint8_t>(i >> (8 * b));
    page.push_back(punch);
  }
  store->StorePage("gate-1", id, page, {count, page.back().bytes, page.front().bytes});
  return database;
}

DeliverConfig SinkConfig(DeliverConfig::Kind kind, const std::string& url) {
  DeliverConfig config;
  config.name = "bench";
  config.kind = kind;
  config.hr.site.url = url;
  config.batch = 200;
  config.hr.site.api_key = "the-key";
  config.hr.site.api_secret = "the-secret";
  config.hr.employee = HrDeliverConfig::Employee::kCard;
  config.hr.employee_field = kind == DeliverConfig::Kind::kErpnext ? "attendance_device_id"
                                                                   : "barcode";
  config.hr.site.database = "hr";
  config.hr.site.user = "api@example.com";
  return config;
}

// Delivers every punch of `database` through `placer`; the seconds it took.
double Deliver(const DeliverConfig& config, const std::string& database,
               std::unique_ptr<PunchPlacer> placer) {
  PunchSignal signal;
  HrSink sink(config, database, signal, std::move(placer));
  const std::unique_ptr<Store> store = OpenStore(database);
  const int64_t last = store->LastPunchId();
  const auto start = std::chrono::steady_clock::now();
  std::jthread thread([&](std::stop_token stop) { sink.Run(stop); });
  while (true) {
    const std::optional<SinkState> state = store->LoadSink(config.name);
    if (state && state->position == last) break;
    std::this_thread::sleep_for(20ms);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(Figures& figures, const std::string& what, int punches, double seconds,
            int64_t requests, bool all_there) {
  char extra[160];
  std::snprintf(extra, sizeof extra, ": %.0f punches/s, %.2f requests per punch, %.0f requests/s",
                punches / seconds, static_cast<double>(requests) / punches,
                static_cast<double>(requests) / seconds);
  figures.Print(what + ", " + std::to_string(punches) + " punches", seconds, "s", 20, extra);
  if (!all_there) figures.Failed(what + ": the HR system does not hold every punch");
}

}  // namespace
}  // namespace tallygate::bench

int main(int argc, char** argv) {
  using namespace tallygate;
  using namespace tallygate::bench;
  using namespace tallygate::collector;
  int punches = 10000;
  CLI::App app{"10,000 punches into each fake HR system on loopback: punches per second"};
  app.add_option("--punches", punches, "punches per HR system")->check(CLI::Range(100, 1000000));
  if (const auto status = command_line::Parse(app, argc, argv)) return *status;
  Figures figures;
  {
    testing::TempDir folder;
    const std::string database = StorePunches(folder.path(), punches);
    fakes::FakeFrappe site;
    for (int e = 0; e < kEmployees; ++e) {
      site.AddEmployee({"HR-EMP-" + std::to_string(e),
                        {{"attendance_device_id", std::to_string(kFirstCard + e)}}});
    }
    const DeliverConfig config = SinkConfig(DeliverConfig::Kind::kErpnext, site.url());
    const double seconds =
        Deliver(config, database, std::make_unique<ErpnextPlacer>(config, std::vector<SyncTerminal>{}));
    Report(figures, "ERPNext check-ins", punches, seconds, site.requests(),
           site.Checkins().size() == static_cast<size_t>(punches));
  }
  for (const auto api : {fakes::FakeOdoo::Api::kJson2, fakes::FakeOdoo::Api::kJsonRpc}) {
    testing::TempDir folder;
    const std::string database = StorePunches(folder.path(), punches);
    fakes::FakeOdoo odoo(api);
    for (int e = 0; e < kEmployees; ++e) {
      odoo.AddEmployee({e + 1, "E", {{"barcode", std::to_string(kFirstCard + e)}}, true});
    }
    DeliverConfig config = SinkConfig(DeliverConfig::Kind::kOdoo, odoo.url());
    if (api == fakes::FakeOdoo::Api::kJsonRpc) config.hr.site.protocol = HrSite::Protocol::kJsonRpc;
    const double seconds = Deliver(
        config, database,
        std::make_unique<OdooPlacer>(config, std::vector<SyncTerminal>{{"gate-1", "UTC"}},
                                     std::chrono::minutes(0)));
    // A punch a minute: kEmployees punches a day each hour and 40 minutes,
    // every employee's punches of a day one attendance.
    Report(figures,
           api == fakes::FakeOdoo::Api::kJson2 ? "Odoo attendances, JSON-2"
                                               : "Odoo attendances, JSON-RPC",
           punches, seconds, odoo.requests(), !odoo.Attendances().empty());
  }
  return figures.all_met() ? 0 : 1;
}
