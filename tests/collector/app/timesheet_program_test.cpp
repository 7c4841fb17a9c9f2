// tallygate-collector timesheet on a SQLite file seeded beside it: working
// days shifted by day_starts, single punches, undated punches listed apart,
// the terminal and group filters, both forms, and mistakes refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collector/store/store.h"
#include "tests/collector/store/store_testing.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::collector {
namespace {

class TimesheetProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Card 100 (a holder, on gate-1's list under an older name) works a
    // night shift across two gates; card 200 (on gate-1's list only)
    // punches at 02:30, then from 08:00 at the canteen to 17:05; card 300
    // (known nowhere) has two punches whose date could not be read.
    const auto store = OpenStore(db_.string());
    const auto put = [&](const std::string& terminal, std::vector<Punch> punches) {
      store->SaveTerminal({terminal, "tcp://127.0.0.1:9", 1, "Asia/Shanghai"});
      ASSERT_TRUE(store->ClaimTerminal(terminal));
      store->StorePage(terminal, store->BeginCollection(CollectionOf(terminal)), punches,
                       MarkAfter(punches.back()));
    };
    put("gate-1",
        {MakePunch(0, 100, At(2026, 12, 1, 22)), MakePunch(1, 200, At(2026, 12, 2, 2, 30)),
         MakePunch(2, 200, At(2026, 12, 2, 17, 5)), MakePunch(3, 300, std::nullopt),
         MakePunch(4, 300, std::nullopt)});
    put("gate-2", {MakePunch(0, 100, At(2026, 12, 2, 6))});
    put("canteen-1", {MakePunch(0, 200, At(2026, 12, 2, 8))});
    store->ReplaceCards("gate-1",
                        std::vector<CardEntry>{{0, 100, "00000999", "Old name", {}},
                                               {1, 200, "00000200", "Bob", {}}},
                        UtcTime{});
    store->ChangeCardholders({{MakeHolder(100, "Ann", {"gates"})}, {}, false}, "test", UtcTime{});
  }

  testing::ProgramResult Run(const std::string& day_starts, std::vector<std::string> args) {
    std::ofstream(config_) << "database = \"sqlite:" << db_.string() << "\"\n" << day_starts << R"(
[[terminal]]
name = "gate-1"
tcp = "127.0.0.1:9"
groups = ["gates"]
[[terminal]]
name = "gate-2"
tcp = "127.0.0.1:10"
groups = ["gates"]
[[terminal]]
name = "canteen-1"
tcp = "127.0.0.1:11"
groups = ["canteen"]
)";
    args.insert(args.begin(), {"--config", config_.string()});
    return testing::RunProgram(TALLYGATE_COLLECTOR_PATH, args);
  }

  testing::TempDir dir_;
  std::filesystem::path config_ = dir_.path() / "collector.toml";
  std::filesystem::path db_ = dir_.path() / "punches.db";
};

constexpr const char* kFourAm = "day_starts = \"04:00\"";
const std::string kAnn = "00000064,100,100,Ann,";
const std::string kBob = "000000C8,200,00000200,Bob,";
const std::string kUndated = ",0000012C,300,,,,,2,,0";

TEST_F(TimesheetProgramTest, RowsPerCardAndWorkingDay) {
  const struct {
    std::string day_starts, from, to, only;
    std::vector<std::string> rows;
  } cases[] = {
      {"day_starts = \"07:00\"", "2026-12-01", "2026-12-02", "",  // the night shift is one day
       {"2026-12-01," + kAnn + "2026-12-01 22:00:00,2026-12-02 06:00:00,2,8:00,0",
        "2026-12-01," + kBob + "2026-12-02 02:30:00,2026-12-02 02:30:00,1,0:00,1",
        "2026-12-02," + kBob + "2026-12-02 08:00:00,2026-12-02 17:05:00,2,9:05,0", kUndated}},
      {"", "2026-12-01", "2026-12-02", "",  // midnight: each punch on its own date
       {"2026-12-01," + kAnn + "2026-12-01 22:00:00,2026-12-01 22:00:00,1,0:00,1",
        "2026-12-02," + kAnn + "2026-12-02 06:00:00,2026-12-02 06:00:00,1,0:00,1",
        "2026-12-02," + kBob + "2026-12-02 02:30:00,2026-12-02 17:05:00,3,14:35,0", kUndated}},
      {kFourAm, "2026-12-02", "2026-12-02", "",  // 02:30 is the day before; staff from gate-1
       {"2026-12-02," + kAnn + "2026-12-02 06:00:00,2026-12-02 06:00:00,1,0:00,1",
        "2026-12-02," + kBob + "2026-12-02 08:00:00,2026-12-02 17:05:00,2,9:05,0", kUndated}},
      {kFourAm, "2026-12-01", "2026-12-02", "--terminal=gate-1",
       {"2026-12-01," + kAnn + "2026-12-01 22:00:00,2026-12-01 22:00:00,1,0:00,1",
        "2026-12-01," + kBob + "2026-12-02 02:30:00,2026-12-02 02:30:00,1,0:00,1",
        "2026-12-02," + kBob + "2026-12-02 17:05:00,2026-12-02 17:05:00,1,0:00,1", kUndated}},
      // No list there holds card 200: its name is the one a list gave it.
      {kFourAm, "2026-12-01", "2026-12-02", "--group=canteen",
       {"2026-12-02,000000C8,200,,Bob,2026-12-02 08:00:00,2026-12-02 08:00:00,1,0:00,1"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"timesheet", "--from", c.from, "--to", c.to};
    if (!c.only.empty()) args.push_back(c.only);
    const auto result = Run(c.day_starts, args);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    std::string csv = "day,card_hex,card,staff,name,first,last,punches,span,single\r\n";
    for (const std::string& row : c.rows) csv += row + "\r\n";
    EXPECT_EQ(result.out, csv) << c.day_starts << " " << c.only;
    EXPECT_EQ(result.err.find("2 punches without a valid date") != std::string::npos,
              c.rows.back() == kUndated) << result.err;
  }
}

TEST_F(TimesheetProgramTest, JsonLinesHoldTheSameRows) {
  const auto result = Run(kFourAm, {"timesheet", "--from=2026-12-02", "--to=2026-12-02",
                                    "--terminal=canteen-1", "--format=jsonl"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            R"({"day":"2026-12-02","card_hex":"000000C8","card":200,"staff":"","name":"Bob",)"
            R"("first":"2026-12-02 08:00:00","last":"2026-12-02 08:00:00","punches":1,)"
            R"("span":"0:00","single":true})" "\n");
  const auto all = Run(kFourAm, {"timesheet", "--from=2026-12-02", "--to=2026-12-02",
                                 "--format=jsonl"});
  EXPECT_EQ(all.OutLines().back(),
            R"({"day":null,"card_hex":"0000012C","card":300,"staff":"","name":"",)"
            R"("first":null,"last":null,"punches":2,"span":null,"single":false})");
}

TEST_F(TimesheetProgramTest, MistakesAreRefusedNamingThem) {
  const struct {
    std::string day_starts, command, from, to, only, says;
  } cases[] = {
      {"", "timesheet", "2026-13-01", "2026-12-02", "", "--from needs a date as YYYY-MM-DD"},
      {"", "timesheet", "2026-12-01", "12/02/2026", "", "--to needs a date as YYYY-MM-DD"},
      {"", "timesheet", "2026-12-03", "2026-12-02", "", "--from 2026-12-03 is after --to"},
      {"", "timesheet", "2026-12-01", "2026-12-02", "--group=lobby", "--group lobby: no terminal"},
      {"", "timesheet", "2026-12-01", "2026-12-02", "--terminal=gate-9", "--terminal gate-9"},
      {"day_starts = \"4:00\"", "timesheet", "2026-12-01", "2026-12-02", "",
       "collector.toml:2:14: day_starts: \"4:00\" is no time of day"},
      {"day_starts = \"24:00\"", "check-config", "", "", "", "\"24:00\" is past 23:59"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {c.command};
    if (!c.from.empty()) args.insert(args.end(), {"--from", c.from, "--to", c.to});
    if (!c.only.empty()) args.push_back(c.only);
    const auto result = Run(c.day_starts, args);
    EXPECT_EQ(result.exit_status, 2) << c.says;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << c.says;
  }
}

}  // namespace
}  // namespace tallygate::collector
