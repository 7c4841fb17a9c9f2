// Delivery by the real service, killed with SIGKILL and started again while
// terminals of the simulator get punches: a webhook receiver on this
// machine that fails at random and checks every signature, and a drop
// folder written every second. At the end the receiver has every stored
// punch, and the folder holds each in exactly one whole file.
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

#include "collector/deliver/signature.h"
#include "collector/store/store.h"
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

}  // namespace
}  // namespace tallygate::collector
