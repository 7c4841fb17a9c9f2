// The service at a terminal's midnight, its clock set to 23:59:50 with
// libfaketime (the terminal keeps the real time): a card valid until today
// is enrolled, then taken off when the day turns, and a card valid from
// tomorrow is enrolled then, both without waiting for the hour-long poll
// interval.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "collector/store/store.h"
#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/terminal_cards.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using testing::Collector;
using testing::SimProcess;
using testing::TempDir;

constexpr uint32_t kLeaver = 0xB00001;   // valid until the last day
constexpr uint32_t kStarter = 0xB00002;  // valid from the next day
const UtcTime kMidnight{std::chrono::sys_days{std::chrono::year_month_day{
    std::chrono::year{2030}, std::chrono::January, std::chrono::day{2}}}};

// libfaketime's library for programs with threads, from Debian's faketime.
std::string FakeTimeLibrary() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", error)) {
    const std::filesystem::path library = entry.path() / "faketime" / "libfaketimeMT.so.1";
    if (std::filesystem::exists(library)) return library.string();
  }
  return "";
}

TEST(CardMidnightTest, TheDayTurnTakesOffTheExpiredCardAndEnrolsTheStarter) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  const std::string library = FakeTimeLibrary();
  if (library.empty()) GTEST_SKIP() << "libfaketime is not installed (Debian package faketime)";
  SimProcess sim({"--tcp-terminals", "1", "--tcp-port", "0", "--quiet", "--cards", "0"});
  TempDir dir;
  const std::string database = "sqlite:" + (dir / "punches.db").string();
  const std::string config = (dir / "collector.toml").string();
  std::ofstream(config) << "database = \"" << database << "\"\n[[terminal]]\nname = \"door\"\n"
                        << "tcp = \"127.0.0.1:" << sim.tcp_ports()[0] << "\"\n"
                        << "time_zone = \"UTC\"\npoll_interval = 3600\ngroups = [\"gates\"]\n";
  const char* asan = std::getenv("ASAN_OPTIONS");
  // The service's clock only; waits stay on the real steady clock.
  const std::vector<std::string> at_2359 = {
      "LD_PRELOAD=" + library, "FAKETIME=@2030-01-01 23:59:50", "FAKETIME_DONT_FAKE_MONOTONIC=1",
      "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
  const auto cards = [&](const std::vector<std::string>& words, const std::string& log) {
    Collector program(config, words, (dir / log).string(), at_2359);
    ASSERT_EQ(program.WaitForExit(30s), 0) << program.Log();
  };
  cards({"cards", "add", std::to_string(kLeaver), "--staff", "1", "--name", "Leaver", "--terminals",
         "gates", "--valid-until", "2030-01-01"},
        "leaver.log");
  cards({"cards", "add", std::to_string(kStarter), "--staff", "2", "--name", "Starter",
         "--terminals", "gates", "--valid-from", "2030-01-02"},
        "starter.log");

  Collector service(config, std::vector<std::string>{"run"}, (dir / "run.log").string(), at_2359);
  const std::unique_ptr<Store> store = OpenStore(database);
  const auto done = [&](uint32_t card, CardChange change) -> std::optional<UtcTime> {
    for (const CardOutcome& outcome : store->CardOutcomes("door", card)) {
      if (outcome.change == change && outcome.error.empty()) return outcome.at;
    }
    return std::nullopt;
  };
  std::optional<UtcTime> enrolled;
  ASSERT_TRUE(testing::WaitUntil([&] { return (enrolled = done(kLeaver, CardChange::kAdd)).has_value(); },
                                 9s))
      << service.Log();
  EXPECT_LT(*enrolled, kMidnight) << "valid until the end of its last day";

  std::optional<UtcTime> removed;
  std::optional<UtcTime> started;
  ASSERT_TRUE(testing::WaitUntil(
      [&] {
        removed = done(kLeaver, CardChange::kRemove);
        started = done(kStarter, CardChange::kAdd);
        return removed && started;
      },
      20s))
      << service.Log();
  for (const UtcTime at : {*removed, *started}) {
    EXPECT_GE(at, kMidnight);
    EXPECT_LE(at, kMidnight + 10s) << "waited for a poll instead of the day's turn";
  }
  const testing::TerminalCards starter_only = {{kStarter, "00000002 Starter"}};
  EXPECT_EQ(testing::CardsOnTerminal(TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim.tcp_ports()[0])}),
            starter_only);
}

}  // namespace
}  // namespace tallygate::collector
