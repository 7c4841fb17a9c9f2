// A drop folder is writable by whoever takes the files. What they plant
// there (a link as the temporary folder, links at the names the next files
// take, a temporary folder of their own) is refused with a reason naming
// it, and the file the links lead to stays as it was; once the plant is
// gone, the punches arrive in exactly one file.
#include "collector/deliver/folder_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/collector/collector_process.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WaitUntil;

constexpr int kPunches = 5;
constexpr char kTarget[] = "the store, or anything else the service may write\n";

// What is planted, as the test's name.
class FolderSinkTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "TemporaryOfAnotherUser" && ::geteuid() != 0) {
      GTEST_SKIP() << "giving a folder to another user needs root";
    }
    fs::create_directory(drop_);
    testing::WriteFile(target_, kTarget);
    const auto store = OpenStore(database_);
    store->SaveTerminal({"gate-1", "tcp://192.0.2.1:1001", 1, "UTC"});
    ASSERT_TRUE(store->ClaimTerminal("gate-1"));
    store->StorePage("gate-1", store->BeginCollection(CollectionOf("gate-1")), Page(0, kPunches),
                     MarkAfter(MakePunch(kPunches - 1)));
  }

  // A link to the target at each name the sink's files of the coming
  // minute may take, in `folder`.
  void PlantLinks(const fs::path& folder) {
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    for (int s = -2; s < 60; ++s) {
      const std::chrono::seconds at(now + local.tm_gmtoff + s);
      fs::create_symlink(target_, folder / PeriodFileName("hr", at, 1s, false));
    }
  }

  SinkState State() { return OpenStore(database_)->LoadSink("hr").value_or(SinkState{}); }

  testing::TempDir dir_;
  const fs::path drop_ = dir_ / "drop";
  const fs::path temporary_ = drop_ / ".tallygate-tmp";
  const fs::path target_ = dir_ / "target";
  const std::string database_ = "sqlite:" + (dir_ / "punches.db").string();
};

INSTANTIATE_TEST_SUITE_P(Plants, FolderSinkTest,
                         ::testing::Values("TemporaryIsALink", "LinksAtTheNames",
                                           "TemporaryOfAnotherUser"),
                         [](const ::testing::TestParamInfo<std::string>& plant) {
                           return plant.param;
                         });

TEST_P(FolderSinkTest, APlantIsRefusedAndThePunchesComeInOneFileOnceItIsGone) {
  std::string named = temporary_.string();  // in the sink's error
  if (GetParam() == "TemporaryIsALink") {
    fs::create_directory(dir_ / "elsewhere");
    fs::create_directory_symlink(dir_ / "elsewhere", temporary_);
    PlantLinks(dir_ / "elsewhere");
  } else {
    fs::create_directory(temporary_);
    PlantLinks(temporary_);
    if (GetParam() == "LinksAtTheNames") named += "/hr-";
    if (GetParam() == "TemporaryOfAnotherUser") {
      ASSERT_EQ(::chown(temporary_.c_str(), 65534, 65534), 0);  // nobody
    }
  }
  DeliverConfig config;
  config.name = "hr";
  config.kind = DeliverConfig::Kind::kFolder;
  config.path = drop_;
  config.every = 1s;
  PunchSignal stored;
  FolderSink sink(config, database_, stored);
  std::jthread running([&](std::stop_token stop) { sink.Run(stop); });

  EXPECT_TRUE(WaitUntil(
      [&] {
        return State().last_error.find(named) != std::string::npos || ReadFile(target_) != kTarget;
      },
      20s))
      << State().last_error;
  EXPECT_EQ(ReadFile(target_), kTarget) << "written through a link";
  EXPECT_NE(State().last_error.find(named), std::string::npos) << State().last_error;

  fs::remove_all(temporary_);  // a link: the link alone
  std::vector<fs::path> files;
  const auto placed = [&] {
    files.clear();
    for (const auto& entry : fs::directory_iterator(drop_)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return !files.empty();
  };
  ASSERT_TRUE(WaitUntil(placed, 20s)) << State().last_error;
  running.request_stop();
  running.join();
  placed();
  ASSERT_EQ(files.size(), 1u);
  const std::vector<std::string> lines = testing::ReadLines(files[0]);
  ASSERT_EQ(lines.size(), 1u + kPunches);  // the header, then each punch once
  for (int i = 0; i < kPunches; ++i) {
    EXPECT_EQ(lines[1 + static_cast<size_t>(i)].rfind(std::to_string(i + 1) + ",", 0), 0u);
  }
  EXPECT_EQ(ReadFile(target_), kTarget);
  EXPECT_EQ(State().last_error, "");
}

}  // namespace
}  // namespace tallygate::collector
