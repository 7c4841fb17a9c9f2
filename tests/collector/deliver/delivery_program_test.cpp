// Delivery by the real service, killed with SIGKILL and started again while
// terminals of the simulator get punches: a webhook receiver on this
// machine that fails at random and checks every signature, a drop folder
// written every second, and fake HR systems failing at random. At the end
// the receiver has every stored punch, the folder holds each in exactly one
// whole file, and each HR system holds each punch exactly once (Odoo: one
// attendance per employee and day, from the first punch to the last), or
// the store lists it as refused with the HR system's reason.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "collector/base/time_text.h"
#include "collector/deliver/signature.h"
#include "collector/store/store.h"
#include "fakes/hr/fake_frappe.h"
#include "fakes/hr/fake_odoo.h"
#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using testing::Collector;
using testing::SimProcess;
using testing::TempDir;

constexpr int kTerminals = 3;
constexpr char kSecret[] = "s3cret-for-the-test";

std::set<int64_t> StoredIds(const std::string& database) {
  std::set<int64_t> ids;
  const std::unique_ptr<Store> store = OpenStore(database);
  for (const PunchRow& row : store->PunchesAfter(0, 1'000'000)) ids.insert(row.id);
  return ids;
}

// A receiver that answers at random: accepted, 500, 429 with Retry-After,
// or too late for the sender's timeout; and, when asked, 400 once.
class Receiver {
 public:
  Receiver() {
    server_.Post("/punches", [this](const httplib::Request& request, httplib::Response& response) {
      Answer(request, response);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Receiver() {
    server_.stop();
    thread_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/punches"; }
  void RefuseNext() {
    std::lock_guard lock(mutex_);
    refuse_next_ = true;
  }
  void AlwaysAccept() {
    std::lock_guard lock(mutex_);
    always_accept_ = true;
  }

  std::set<int64_t> Accepted() {
    std::lock_guard lock(mutex_);
    return accepted_;
  }
  int bad_signatures() {
    std::lock_guard lock(mutex_);
    return bad_signatures_;
  }
  int changed_batches() {
    std::lock_guard lock(mutex_);
    return changed_batches_;
  }
  int requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Answer(const httplib::Request& request, httplib::Response& response) {
    const std::string header = request.get_header_value("Tallygate-Signature");
    const size_t comma = header.find(",v1=");
    const std::string t = header.substr(2, comma == std::string::npos ? 0 : comma - 2);
    const bool signed_well = header.rfind("t=", 0) == 0 && comma != std::string::npos &&
                             header.substr(comma + 4) == HmacSha256Hex(kSecret, t + "." + request.body);
    const nlohmann::json body = nlohmann::json::parse(request.body);
    std::vector<int64_t> ids;
    for (const auto& punch : body["punches"]) ids.push_back(punch["id"].get<int64_t>());
    int pick = 0;
    {
      std::lock_guard lock(mutex_);
      ++requests_;
      if (!signed_well) ++bad_signatures_;
      if (body["delivery"] != request.get_header_value("Tallygate-Delivery")) ++bad_signatures_;
      // A delivery id names one batch, whenever it is sent again.
      const auto [seen, fresh] = batches_.emplace(body["delivery"].get<std::string>(), ids);
      if (!fresh && seen->second != ids) ++changed_batches_;
      pick = always_accept_ ? 0 : std::uniform_int_distribution<int>(0, 9)(random_);
      if (refuse_next_) pick = -1;
      refuse_next_ = false;
    }
    if (pick == -1) {
      response.status = 400;
      response.set_content("{\"error\":\"unknown field\"}", "application/json");
    } else if (pick <= 4) {
      std::lock_guard lock(mutex_);
      accepted_.insert(ids.begin(), ids.end());
      response.status = 200;
    } else if (pick <= 6) {
      response.status = 500;
    } else if (pick == 7) {
      response.status = 429;
      response.set_header("Retry-After", "1");
    } else {
      std::this_thread::sleep_for(1500ms);  // past the sender's 1 s timeout
      response.status = 200;                // never read: not accepted
    }
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::mt19937 random_{2026};
  std::set<int64_t> accepted_;
  std::map<std::string, std::vector<int64_t>> batches_;
  int bad_signatures_ = 0;
  int changed_batches_ = 0;
  int requests_ = 0;
  bool refuse_next_ = false;
  bool always_accept_ = false;
};

class DeliveryProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{
        "--tcp-terminals", std::to_string(kTerminals), "--tcp-port", "0", "--records", "20",
        "--quiet"});
    database_ = "sqlite:" + (dir_ / "punches.db").string();
    std::ofstream(dir_ / "secret") << kSecret << "\n";
  }

  void WriteConfig(const std::string& deliver) {
    std::ofstream config(config_);
    config << "database = \"" << database_ << "\"\npoll_interval = 1\n" << deliver;
    for (int k = 1; k <= kTerminals; ++k) {
      config << "[[terminal]]\nname = \"gate-" << k << "\"\ntcp = \"127.0.0.1:"
             << sim_->tcp_ports()[static_cast<size_t>(k - 1)] << "\"\n";
    }
  }

  // The service killed and started again every 1.5 s or so while each
  // terminal gets punches; it runs on at the end.
  std::unique_ptr<Collector> RunWithKills(int rounds) {
    std::mt19937 random(7);
    std::unique_ptr<Collector> service;
    for (int round = 0; round < rounds; ++round) {
      service = std::make_unique<Collector>(config_, std::vector<std::string>{"run"},
                                            (dir_ / ("run" + std::to_string(round) + ".log")).string());
      for (int k = 1; k <= kTerminals; ++k) {
        sim_->Control("add-records " + std::to_string(3 + round % 4) + " #" + std::to_string(k));
        punches_ += 3 + round % 4;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(
          std::uniform_int_distribution<int>(800, 2200)(random)));
      service.reset();  // SIGKILL
    }
    return std::make_unique<Collector>(config_, std::vector<std::string>{"run"},
                                       (dir_ / "last.log").string());
  }

  TempDir dir_;
  std::unique_ptr<SimProcess> sim_;
  std::string database_;
  std::string config_ = (dir_ / "collector.toml").string();
  size_t punches_ = kTerminals * 20;  // on the terminals, ever
};

TEST_F(DeliveryProgramTest, AWebhookGetsEveryPunchSignedAcrossKillsAndFailures) {
  Receiver receiver;
  WriteConfig("[[deliver]]\nname = \"payroll\"\nkind = \"webhook\"\nurl = \"" + receiver.url() +
              "\"\nsecret_file = \"" + (dir_ / "secret").string() + "\"\ntimeout = 1\nbatch = 7\n");
  const std::unique_ptr<Collector> service = RunWithKills(8);
  // Everything the terminals hold is stored, then delivered.
  std::set<int64_t> stored;
  ASSERT_TRUE(testing::WaitUntil(
      [&] {
        stored = StoredIds(database_);
        return stored.size() == punches_;
      },
      30s))
      << stored.size() << " stored\n" << service->Log();
  receiver.AlwaysAccept();
  EXPECT_TRUE(testing::WaitUntil([&] { return receiver.Accepted() == stored; }, 60s))
      << receiver.Accepted().size() << " of " << stored.size() << " accepted\n" << service->Log();
  EXPECT_EQ(receiver.bad_signatures(), 0);
  EXPECT_EQ(receiver.changed_batches(), 0) << "a delivery id was sent with other punches";
  EXPECT_GT(receiver.requests(), static_cast<int>(stored.size() / 7)) << "no failure was tried";
}

TEST_F(DeliveryProgramTest, ARefusalStopsTheSinkUntilRetriedAndSkipsNothing) {
  Receiver receiver;
  receiver.AlwaysAccept();
  receiver.RefuseNext();
  WriteConfig("[[deliver]]\nname = \"payroll\"\nkind = \"webhook\"\nurl = \"" + receiver.url() +
              "\"\nsecret_file = \"" + (dir_ / "secret").string() + "\"\n");
  Collector service(config_, std::vector<std::string>{"run"}, (dir_ / "run.log").string());
  ASSERT_TRUE(service.WaitForLog("sink payroll stopped: HTTP 400: {\"error\":\"unknown field\"}",
                                 20s))
      << service.Log();
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(receiver.Accepted().empty()) << "delivered past a refused batch";
  const auto status = [&](const std::string& log) {
    Collector program(config_, std::vector<std::string>{"deliver", "status"}, (dir_ / log).string());
    EXPECT_EQ(program.WaitForExit(20s), 0);
    return program.Log();
  };
  EXPECT_NE(status("status1.log").find("60 to deliver"), std::string::npos)
      << status("status1.log");
  Collector retry(config_, std::vector<std::string>{"deliver", "retry", "payroll"},
                  (dir_ / "retry.log").string());
  ASSERT_EQ(retry.WaitForExit(20s), 0) << retry.Log();
  const std::set<int64_t> stored = StoredIds(database_);
  EXPECT_TRUE(testing::WaitUntil([&] { return receiver.Accepted() == stored; }, 20s))
      << service.Log();
  EXPECT_NE(status("status2.log").find("0 to deliver"), std::string::npos);
  Collector again(config_, std::vector<std::string>{"deliver", "retry", "payroll"},
                  (dir_ / "again.log").string());
  EXPECT_EQ(again.WaitForExit(20s), 2) << "not stopped any more";
}

// Every whole line of each file placed in the folder, by file.
std::map<std::string, std::vector<std::string>> FolderFiles(const std::filesystem::path& folder) {
  std::map<std::string, std::vector<std::string>> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string>& lines = files[entry.path().filename().string()];
    std::string all = text.str();
    EXPECT_TRUE(all.size() >= 2 && all.substr(all.size() - 2) == "\r\n")
        << entry.path() << " ends half-way";
    for (size_t start = 0, end; (end = all.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      lines.push_back(all.substr(start, end - start));
    }
  }
  return files;
}

TEST_F(DeliveryProgramTest, AFolderHoldsEachPunchInExactlyOneWholeFileAcrossKills) {
  const std::filesystem::path drop = dir_ / "drop";
  std::filesystem::create_directory(drop);
  WriteConfig("[[deliver]]\nname = \"hr\"\nkind = \"folder\"\npath = \"" + drop.string() +
              "\"\nevery = \"1s\"\n");
  const std::unique_ptr<Collector> service = RunWithKills(8);
  std::set<int64_t> in_files;
  std::set<int64_t> stored;
  std::map<int64_t, int> times;
  ASSERT_TRUE(testing::WaitUntil(
      [&] {
        stored = StoredIds(database_);
        times.clear();
        in_files.clear();
        for (const auto& [name, lines] : FolderFiles(drop)) {
          if (lines.empty() || lines[0].rfind("id,terminal,card_hex", 0) != 0) continue;
          for (size_t i = 1; i < lines.size(); ++i) {
            const int64_t id = std::stoll(lines[i].substr(0, lines[i].find(',')));
            ++times[id];
            in_files.insert(id);
          }
        }
        return !stored.empty() && in_files == stored;
      },
      30s))
      << in_files.size() << " of " << stored.size() << " in files\n" << service->Log();
  for (const auto& [id, count] : times) EXPECT_EQ(count, 1) << "punch " << id;
  for (const auto& [name, lines] : FolderFiles(drop)) {
    EXPECT_EQ(name.rfind("hr-", 0), 0u) << name;
    ASSERT_FALSE(lines.empty()) << name;
    EXPECT_EQ(lines[0].rfind("id,terminal,card_hex", 0), 0u) << name << " has no header";
  }
}

// The simulator's cards (sim/model/synthetic_data.cpp): 0x00100000 + i * 977.
// Every tenth has no employee in the HR system.
std::vector<std::pair<int, uint32_t>> EmployedCards() {
  std::vector<std::pair<int, uint32_t>> cards;
  for (int i = 0; i < 500; ++i) {
    if (i % 10 != 0) cards.emplace_back(i + 1, 0x00100000u + static_cast<uint32_t>(i) * 977u);
  }
  return cards;
}

bool Employed(uint32_t card) { return (card - 0x00100000u) / 977u % 10 != 0; }

// What the store says was refused by `sink`, by punch id, with the reasons.
std::map<int64_t, std::string> RefusedIds(const std::string& database, const std::string& sink) {
  std::map<int64_t, std::string> refused;
  for (const auto& [row, refusal] : OpenStore(database)->Refusals(sink, false, 1'000'000)) {
    refused[row.id] = refusal.reason;
  }
  return refused;
}

class HrDeliveryProgramTest : public DeliveryProgramTest {
 protected:
  void SetUp() override {
    DeliveryProgramTest::SetUp();
    std::ofstream(dir_ / "key") << "the-key\n";
    std::ofstream(dir_ / "secret") << "the-secret\n";
  }
  std::string Keys() const {
    return "api_key_file = \"" + (dir_ / "key").string() + "\"\n";
  }

  // Runs the service through kills; returns the stored punches once all
  // the terminals' are, and the receiver fails no more.
  std::vector<PunchRow> RunAndStore(fakes::FakeSite& site, std::unique_ptr<Collector>& service) {
    site.FailAtRandom(0.3, 2026);
    service = RunWithKills(8);
    std::vector<PunchRow> stored;
    EXPECT_TRUE(testing::WaitUntil(
        [&] {
          stored = OpenStore(database_)->PunchesAfter(0, 1'000'000);
          return stored.size() == punches_;
        },
        30s))
        << stored.size() << " stored\n" << service->Log();
    site.FailAtRandom(0, 1);
    return stored;
  }
};

TEST_F(HrDeliveryProgramTest, AnErpnextSiteHasEachPunchOnceOrItIsListedRefused) {
  fakes::FakeFrappe site;
  for (const auto& [n, card] : EmployedCards()) {
    site.AddEmployee({"HR-EMP-" + std::to_string(n), {{"attendance_device_id",
                                                        std::to_string(card)}}});
  }
  WriteConfig("[[deliver]]\nname = \"erp\"\nkind = \"erpnext\"\nurl = \"" + site.url() +
              "\"\n" + Keys() + "api_secret_file = \"" + (dir_ / "secret").string() +
              "\"\nemployee = \"card\"\ntimeout = 1\nbatch = 5\n");
  std::unique_ptr<Collector> service;
  const std::vector<PunchRow> stored = RunAndStore(site, service);
  // Each employed card's punch is a check-in (one per employee and second,
  // as the site keeps them); every other punch is refused, and nothing else.
  std::set<std::pair<std::string, std::string>> wanted;
  std::set<int64_t> refusable;
  for (const PunchRow& row : stored) {
    if (Employed(row.punch.card)) {
      wanted.emplace(std::to_string(row.punch.card), LocalTimeText(*row.punch.local));
    } else {
      refusable.insert(row.id);
    }
  }
  std::map<std::string, std::string> card_of;  // employee -> card
  for (const auto& [n, card] : EmployedCards()) card_of["HR-EMP-" + std::to_string(n)] = std::to_string(card);
  std::set<std::pair<std::string, std::string>> placed;
  std::map<int64_t, std::string> refused;
  EXPECT_TRUE(testing::WaitUntil(
      [&] {
        placed.clear();
        for (const auto& checkin : site.Checkins()) placed.emplace(card_of[checkin.employee], checkin.time);
        refused = RefusedIds(database_, "erp");
        return placed == wanted && refused.size() == refusable.size();
      },
      60s))
      << placed.size() << " of " << wanted.size() << " placed, " << refused.size() << " of "
      << refusable.size() << " refused\n" << service->Log();
  EXPECT_EQ(site.Checkins().size(), wanted.size()) << "a punch placed twice";
  for (const auto& [id, reason] : refused) {
    EXPECT_EQ(refusable.count(id), 1u) << "punch " << id << " refused: " << reason;
    EXPECT_NE(reason.find("No Employee found"), std::string::npos) << reason;
  }
  // HR adds the missing employees; the refused punches, asked again, are placed.
  const auto command = [&](const std::vector<std::string>& words, const std::string& log) {
    Collector program(config_, words, (dir_ / log).string());
    const int status = program.WaitForExit(20s).value_or(-1);
    return std::make_pair(status, program.Log());
  };
  const auto [listed, status_text] = command({"deliver", "status"}, "status.log");
  EXPECT_EQ(listed, 0) << status_text;
  EXPECT_NE(status_text.find(std::to_string(refusable.size()) + " refused punches"),
            std::string::npos)
      << status_text;
  for (int i = 0; i < 500; i += 10) {
    const uint32_t card = 0x00100000u + static_cast<uint32_t>(i) * 977u;
    site.AddEmployee({"HR-EMP-" + std::to_string(i + 1), {{"attendance_device_id",
                                                            std::to_string(card)}}});
    card_of["HR-EMP-" + std::to_string(i + 1)] = std::to_string(card);
  }
  EXPECT_EQ(command({"deliver", "retry", "erp", "--refused"}, "retry.log").first, 0);
  for (const PunchRow& row : stored) {
    wanted.emplace(std::to_string(row.punch.card), LocalTimeText(*row.punch.local));
  }
  EXPECT_TRUE(testing::WaitUntil(
      [&] {
        placed.clear();
        for (const auto& checkin : site.Checkins()) placed.emplace(card_of[checkin.employee], checkin.time);
        return placed == wanted && RefusedIds(database_, "erp").empty();
      },
      30s))
      << placed.size() << " of " << wanted.size() << " placed after the retry\n" << service->Log();
  EXPECT_EQ(command({"deliver", "retry", "erp", "--refused"}, "again.log").first, 2)
      << "nothing left to send again";
}

TEST_F(HrDeliveryProgramTest, AnOdooDatabaseHasOneAttendancePerEmployeeAndDay) {
  fakes::FakeOdoo odoo(fakes::FakeOdoo::Api::kJson2);
  for (const auto& [n, card] : EmployedCards()) {
    odoo.AddEmployee({n, "E" + std::to_string(n), {{"barcode", std::to_string(card)}}, true});
  }
  WriteConfig("[[deliver]]\nname = \"odoo\"\nkind = \"odoo\"\nurl = \"" + odoo.url() +
              "\"\n" + Keys() + "database = \"hr\"\nemployee = \"card\"\ntimeout = 1\n"
              "batch = 5\n");
  std::unique_ptr<Collector> service;
  const std::vector<PunchRow> stored = RunAndStore(odoo, service);
  // Per employee and day (on the terminals' clocks, the day starting at
  // midnight): the first punch's UTC time to the last's.
  std::map<std::pair<int64_t, std::string>, std::pair<std::string, std::string>> days;
  size_t refusable = 0;
  for (const PunchRow& row : stored) {
    if (!Employed(row.punch.card)) {
      ++refusable;
      continue;
    }
    const int64_t employee = (row.punch.card - 0x00100000) / 977 + 1;
    const std::string utc = LocalTimeText(LocalTime{row.punch.utc->time_since_epoch()});
    auto [span, fresh] = days.try_emplace({employee, LocalTimeText(*row.punch.local).substr(0, 10)},
                                          utc, utc);
    span->second.first = std::min(span->second.first, utc);
    span->second.second = std::max(span->second.second, utc);
  }
  std::set<std::tuple<int64_t, std::string, std::string>> wanted;
  for (const auto& [key, span] : days) wanted.emplace(key.first, span.first, span.second);
  std::set<std::tuple<int64_t, std::string, std::string>> held;
  EXPECT_TRUE(testing::WaitUntil(
      [&] {
        held.clear();
        for (const auto& a : odoo.Attendances()) held.emplace(a.employee, a.check_in, a.check_out);
        return held == wanted && RefusedIds(database_, "odoo").size() == refusable;
      },
      60s))
      << held.size() << " of " << wanted.size() << " attendances\n" << service->Log();
  EXPECT_EQ(odoo.Attendances().size(), wanted.size()) << "an attendance made twice";
}

}  // namespace
}  // namespace tallygate::collector
