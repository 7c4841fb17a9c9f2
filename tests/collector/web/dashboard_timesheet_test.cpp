// The timesheet page and its download against `tallygate-collector
// timesheet` on the same store and configuration, its refusals naming the
// field, and the punches-per-hour chart of the fleet and of a terminal.
#include <fstream>
#include <map>

#include "collector/base/time_zone.h"
#include "collector/base/value_text.h"
#include "collector/web/html.h"
#include "tests/collector/web/dashboard_fixture.h"
#include "tests/tools/run_program.h"

namespace tallygate::collector::web {
namespace {

constexpr const char* kConfig = R"(
day_starts = "04:00"
[[terminal]]
name = "gate-1"
tcp = "127.0.0.1:9"
groups = ["gates"]
[[terminal]]
name = "gate-2"
tcp = "127.0.0.1:10"
)";

// Stores `punches` of `terminal`, its clock in `zone`.
void StoreMore(Store& store, const std::string& terminal, const std::vector<Punch>& punches,
               const std::string& zone = "Asia/Shanghai") {
  store.SaveTerminal({terminal, "tcp://127.0.0.1:9", 1, zone});
  Collection collection;
  collection.terminal = terminal;
  store.StorePage(terminal, store.BeginCollection(collection), punches,
                  {punches.back().position + 1, punches.back().bytes, std::nullopt});
}

Punch PunchOfCard(int position, uint32_t card, std::optional<LocalTime> local) {
  Punch punch = PunchNumber(position);
  punch.card = card;
  punch.local = local;
  punch.utc.reset();
  return punch;
}

class DashboardTimesheetTest : public DashboardServerTest {
 protected:
  // Beside the fixture's punches: card 7's one punch at 01:30 (the day
  // before's work) and one without a date.
  void SetUp() override {
    DashboardServerTest::SetUp();
    StoreMore(*OpenStore(database_), "gate-1",
              {PunchOfCard(kPunches, 7, Day(5, 5400)), PunchOfCard(kPunches + 1, 7, std::nullopt)});
    std::ofstream(config_) << "database = \"" << database_ << "\"\n" << kConfig;
    Serve();
    server_->Attach(std::make_shared<CollectorConfig>(LoadConfig(config_)), nullptr);
  }

  std::filesystem::path config_ = dir_ / "collector.toml";
};

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(DashboardTimesheetTest, PageAndDownloadHoldTheCommandsRows) {
  const struct {
    std::string query;
    std::vector<std::string> args;
  } cases[] = {
      {"from=2026-11-01&to=2026-11-30", {"--from", "2026-11-01", "--to", "2026-11-30"}},
      {"from=2026-11-04&to=2026-11-04&terminal=gate-1",
       {"--from", "2026-11-04", "--to", "2026-11-04", "--terminal", "gate-1"}},
      {"from=2026-11-03&to=2026-11-05&group=gates",
       {"--from", "2026-11-03", "--to", "2026-11-05", "--group", "gates"}},
      {"from=2026-11-02&to=2026-11-02&terminal=gate-2",
       {"--from", "2026-11-02", "--to", "2026-11-02", "--terminal", "gate-2"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--config", config_.string(), "timesheet"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ProgramResult command = testing::RunProgram(TALLYGATE_COLLECTOR_PATH, args);
    ASSERT_EQ(command.exit_status, 0) << command.err;
    const auto csv = Get("/timesheet.csv?" + c.query);
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 200) << c.query;
    EXPECT_EQ(csv->body, command.out) << c.query;
    // The page: a row per dated line, the single days flagged, the undated apart.
    const auto page = Get("/timesheet?" + c.query);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::vector<std::string> lines = command.OutLines();
    size_t dated = 0, single = 0, undated = 0;
    for (size_t i = 1; i < lines.size(); ++i) {  // CR LF ended
      (lines[i].starts_with(",") ? undated : dated) += 1;
      single += lines[i].ends_with(",1\r") ? 1 : 0;
    }
    EXPECT_EQ(Count(page->body, "<tr class=\"day"), dated) << c.query;
    EXPECT_EQ(Count(page->body, "<tr class=\"day single\">"), single) << c.query;
    EXPECT_EQ(Count(page->body, "<tr class=\"undated\">"), undated) << c.query;
    EXPECT_NE(page->body.find("href=\"/timesheet.csv?" + Escape(c.query) + "\""),
              std::string::npos);
  }
}

TEST_F(DashboardTimesheetTest, BadValuesAreRefusedNamingTheField) {
  const struct {
    std::string query, message;
  } cases[] = {
      {"from=2026-11-31&to=2026-12-01", "from: \"2026-11-31\" is not a date (YYYY-MM-DD)"},
      {"from=2026-11-01&to=soon", "to: \"soon\" is not a date (YYYY-MM-DD)"},
      {"from=2026-11-05&to=2026-11-04", "from: \"2026-11-05\" is after the last day"},
      {"terminal=gate-9", "terminal: no terminal \"gate-9\" in the configuration"},
      {"group=canteen", "group: no terminal has the group \"canteen\""},
      {"terminal=gate-1&group=gates", "group: choose a terminal or a group, not both"},
  };
  for (const auto& c : cases) {
    const auto page = Get("/timesheet?" + c.query);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 400) << c.query;
    EXPECT_NE(page->body.find("<p class=\"error\">" + Escape(c.message) + "</p>"),
              std::string::npos)
        << page->body;
    const auto csv = Get("/timesheet.csv?" + c.query);
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 400) << c.query;
    EXPECT_EQ(csv->body, c.message + "\n");
  }
}

TEST_F(DashboardTimesheetTest, ChartBarsFollowTheHoursPunches) {
  // The terminals' clocks in the host's zone, whose days the fleet's chart shows.
  const std::string zone = HostTimeZone();
  const LocalDay today = std::chrono::floor<std::chrono::days>(LocalNow(zone));
  const LocalTime yesterday{today - std::chrono::days{1}};
  const LocalTime before{today - std::chrono::days{2}};
  const auto at = [](LocalTime day, int hour, int minute) {
    return day + std::chrono::hours{hour} + std::chrono::minutes{minute};
  };
  StoreMore(*OpenStore(database_), "gate-1",
            {PunchOfCard(3000, 1, at(yesterday, 8, 0)), PunchOfCard(3001, 1, at(yesterday, 8, 59)),
             PunchOfCard(3002, 2, at(yesterday, 8, 30)), PunchOfCard(3003, 2, at(before, 22, 5)),
             PunchOfCard(3004, 2, at(today - std::chrono::days{7}, 8, 0))},  // too old
            zone);
  StoreMore(*OpenStore(database_), "gate-2", {PunchOfCard(0, 3, at(yesterday, 8, 15))}, zone);
  const std::string y = DayText(today - std::chrono::days{1});
  const std::string b = DayText(today - std::chrono::days{2});
  const struct {
    std::string path;
    std::map<std::string, std::pair<int, int>> bars;  // hour: height, punches
    int busiest, total;
  } cases[] = {
      {"/terminals", {{y + " 08", {100, 4}}, {b + " 22", {25, 1}}, {y + " 09", {0, 0}}}, 4, 5},
      {"/terminals/gate-1", {{y + " 08", {100, 3}}, {b + " 22", {34, 1}}}, 3, 4},
      {"/terminals/gate-2", {{y + " 08", {100, 1}}, {b + " 22", {0, 0}}}, 1, 1},
  };
  const std::regex bar(
      "<rect class=\"bar\" x=\"\\d+\" y=\"\\d+\" width=\"3\" height=\"(\\d+)\" "
      "data-hour=\"([^\"]+)\" data-punches=\"(\\d+)\">");
  for (const auto& c : cases) {
    const auto page = Get(c.path);
    ASSERT_TRUE(page);
    std::map<std::string, std::pair<int, int>> bars;
    for (auto it = std::sregex_iterator(page->body.begin(), page->body.end(), bar);
         it != std::sregex_iterator(); ++it) {
      bars[(*it)[2]] = {std::stoi((*it)[1]), std::stoi((*it)[3])};
    }
    EXPECT_EQ(bars.size(), 168u) << c.path;
    int punches = 0;
    for (const auto& [hour, value] : bars) punches += value.second;
    EXPECT_EQ(punches, c.total) << c.path;
    for (const auto& [hour, value] : c.bars) EXPECT_EQ(bars[hour], value) << c.path << " " << hour;
    EXPECT_NE(page->body.find("the busiest hour had " + std::to_string(c.busiest) + ".\"><title>"),
              std::string::npos)
        << c.path;
  }
}

}  // namespace
}  // namespace tallygate::collector::web
