// The dashboard's readings of what people type and of what the store
// says: card numbers, the browser's language, a terminal's state; and the
// export's rows, which its CSV download shares.
#include <gtest/gtest.h>

#include "collector/base/value_text.h"
#include "collector/export/punch_export.h"
#include "collector/web/messages.h"
#include "collector/web/metrics_text.h"
#include "collector/web/sinks_panel.h"
#include "collector/web/terminal_view.h"

namespace tallygate::collector::web {
namespace {

TEST(CardText, ReadsDecimalAndEachHexadecimalForm) {
  struct Case {
    const char* text;
    std::optional<uint32_t> card;  // absent: refused
  };
  const Case cases[] = {
      {"1234567", 1234567},      {"0012D687", 1234567},   {"0x12d687", 1234567},
      {"hex:0012D687", 1234567}, {" 42 ", 42},            {"4294967295", 4294967295u},
      {"0xFFFFFFFF", 4294967295u},
      {"4294967296", std::nullopt},   // past 32 bits
      {"0x100000000", std::nullopt},  // nine hex digits
      {"12x", std::nullopt},          {"-5", std::nullopt},
      {"0x", std::nullopt},           {"", std::nullopt},
  };
  for (const Case& c : cases) {
    if (c.card) {
      EXPECT_EQ(ParseCard(c.text), *c.card) << c.text;
    } else {
      EXPECT_THROW(ParseCard(c.text), InputError) << c.text;
    }
  }
}

TEST(CardText, DaysAreCalendarDays) {
  EXPECT_TRUE(ParseDay("2024-02-29"));
  for (const char* text : {"2023-02-29", "2026-13-01", "2026-1-01", "2026-01-01x", "20260101"}) {
    EXPECT_FALSE(ParseDay(text)) << text;
  }
}

TEST(ExportRows, TextThatASpreadsheetWouldRunIsNeutralisedInCsvOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"=HYPERLINK(\"http://x.example\")", "\"'=HYPERLINK(\"\"http://x.example\"\")\""},
      {"+86 1234", "'+86 1234"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\t=1", "'\t=1"},
      {"\r=1", "\"'\r=1\""},
      {"张三", "张三"},
      {"a=b", "a=b"},  // only the first character counts
      {"", ""},
  };
  const char* names[] = {"terminal", "", "", "staff", "name"};
  for (const auto& [text, csv] : cases) {
    for (const size_t column : {0, 3, 4}) {
      PunchRow row;
      row.punch.position = -1;  // a number is left as it is, sign and all
      (column == 0 ? row.terminal : column == 3 ? row.staff : row.name) = text;
      std::vector<std::string> fields = {"", "00000000", "0", "", "", "", "", "0", "0", "-1"};
      fields[column] = csv;
      std::string line = fields[0];
      for (size_t i = 1; i < fields.size(); ++i) line += "," + fields[i];
      EXPECT_EQ(ExportRow(row, ExportFormat::kCsv), line + "\r\n") << names[column] << ": " << text;
      EXPECT_EQ(PunchJson(row).at(names[column]), text) << names[column] << ": " << text;
    }
  }
}

TEST(DashboardLanguage, ChineseWhenPreferredOverEnglish) {
  const std::pair<const char*, Language> cases[] = {
      {"zh-CN,zh;q=0.9,en;q=0.8", Language::kChinese},
      {"en-US,en;q=0.9,zh-CN;q=0.8", Language::kEnglish},
      {"fr-FR, zh-TW;q=0.7", Language::kChinese},
      {"zh;q=0.5, en;q=0.6", Language::kEnglish},
      {"zh-CN, en", Language::kChinese},   // equal q: the first listed
      {"zh;q=0", Language::kEnglish},      // q=0: not wanted
      {"", Language::kEnglish},
  };
  for (const auto& [header, language] : cases) EXPECT_EQ(LanguageFor(header), language) << header;
}

TEST(TerminalViewTest, StateAndStalenessFollowTheTerminalsPollInterval) {
  using std::chrono::minutes;
  const UtcTime now{std::chrono::hours{24 * 20000}};
  struct Case {
    std::optional<minutes> polled_ago, succeeded_ago, failing_for;
    const char* state;
    bool stale;
    int interval = 60;  // seconds
  };
  // Three poll intervals and the minute in which a quiet answer may not be
  // written yet (kQuietWrite) make a terminal stale.
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, "never-polled", false},
      {minutes{1}, minutes{1}, std::nullopt, "answering", false},
      {minutes{1}, minutes{2}, minutes{1}, "backing-off", false},
      {minutes{1}, minutes{10}, minutes{9}, "unreachable", true},
      {minutes{1}, std::nullopt, minutes{5}, "unreachable", true},   // never answered
      {minutes{5}, minutes{5}, std::nullopt, "answering", true},     // no poll since
      {minutes{1}, minutes{1}, std::nullopt, "answering", false, 1},  // quiet, not written
      {minutes{2}, minutes{2}, std::nullopt, "answering", true, 1},
  };
  CollectorConfig config;
  config.terminals.resize(1);
  config.terminals[0].name = "gate-1";
  for (const Case& c : cases) {
    config.terminals[0].poll_interval = std::chrono::seconds{c.interval};
    TerminalState state;
    state.info.name = "gate-1";
    if (c.polled_ago) state.last_poll = now - *c.polled_ago;
    if (c.succeeded_ago) state.last_success = now - *c.succeeded_ago;
    if (c.failing_for) state.failing_since = now - *c.failing_for;
    const std::vector<TerminalView> views = ViewTerminals({state}, config, now);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_STREQ(AnsweringName(views[0].answering), c.state) << c.state;
    EXPECT_EQ(views[0].stale, c.stale) << c.state;
  }
}

TEST(TerminalViewTest, ConfiguredTerminalsComeFirstThenThoseOnlyTheStoreKnows) {
  CollectorConfig config;
  config.terminals.resize(2);
  config.terminals[0].name = "b";
  config.terminals[1].name = "new";
  TerminalState a, b;
  a.info.name = "a";
  b.info.name = "b";
  b.punches = 7;
  const std::vector<TerminalView> views = ViewTerminals({a, b}, config, UtcTime{});
  ASSERT_EQ(views.size(), 3u);
  EXPECT_EQ(views[0].state.info.name, "b");
  EXPECT_EQ(views[0].state.punches, 7);
  EXPECT_EQ(views[1].state.info.name, "new");
  EXPECT_EQ(views[1].answering, Answering::kNeverPolled);
  EXPECT_EQ(views[2].state.info.name, "a");
  EXPECT_FALSE(views[2].configured);
}

}  // namespace
}  // namespace tallygate::collector::web

namespace tallygate::collector::web {
namespace {

TEST(SinkViews, PanelAndMetricsShowBacklogAgeAndTheReceiversEscapedRefusal) {
  SinkReport stopped;
  stopped.name = "pay";
  stopped.kind = "webhook";
  stopped.target = "https://hr.example/x";
  stopped.begun = true;
  stopped.state.stopped = "HTTP 400: <script>x</script>";
  stopped.state.failures = 4;
  stopped.backlog.punches = 12;
  stopped.oldest_age = std::chrono::seconds(3725);
  SinkReport idle;
  idle.name = "drop";
  idle.kind = "folder";
  idle.target = "/srv/drop";
  const std::string html = SinksPanel({stopped, idle}, Language::kEnglish);
  EXPECT_NE(html.find("HTTP 400: &lt;script&gt;x&lt;/script&gt;"), std::string::npos) << html;
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_NE(html.find("deliver retry pay"), std::string::npos);
  EXPECT_NE(html.find("<td>1 h 2 min</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("not begun"), std::string::npos);
  EXPECT_EQ(SinksPanel({}, Language::kEnglish), "");
  const std::string metrics = SinkMetricsText({stopped, idle});
  for (const char* line :
       {"tallygate_delivery_backlog{sink=\"pay\"} 12\n",
        "tallygate_delivery_oldest_undelivered_seconds{sink=\"pay\"} 3725\n",
        "tallygate_delivery_oldest_undelivered_seconds{sink=\"drop\"} 0\n",
        "tallygate_delivery_failures_total{sink=\"pay\"} 4\n",
        "tallygate_delivery_stopped{sink=\"pay\"} 1\n", "tallygate_delivery_stopped{sink=\"drop\"} 0\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
  }
}

}  // namespace
}  // namespace tallygate::collector::web
