// tallygate collect: its options, exit statuses and progress bar, and the
// built program collecting from tallygate-sim over TCP and over the
// pseudo-terminal bus.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>

#include "common/process/child_start.h"
#include "sim/client/sim_process.h"
#include "sim/model/synthetic_data.h"
#include "sim/model/terminal_view.h"
#include "tallygate/basic_error.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/collect.h"
#include "tools/tallygate/page_log.h"
#include "tools/tallygate/progress_bar.h"
#include "tools/tallygate/progress_object.h"
#include "tools/tallygate/table_text.h"

namespace tallygate::testing {
namespace {

using cli::CollectOptions;
using cli::ParseCollectOptions;
using cli::ProgressBar;

constexpr const char* kPartLost = "Net Err,Part data lose";

// ---- Options and exit statuses -------------------------------------------

TEST(CollectOptionsTest, ReadsEveryOption) {
  struct Case {
    std::vector<std::string> words;
    cli::Connection before;
    CollectOptions expected;
  };
  const auto options = [](auto&& change) {
    CollectOptions o;
    o.address = 1;
    change(o);
    return o;
  };
  const Case cases[] = {
      {{"--addr", "1"}, {}, options([](CollectOptions&) {})},
      {{"--addr", "255", "--tcp", "10.0.0.9:1001"},
       {},
       options([](CollectOptions& o) { o.address = 255, o.connection.tcp = "10.0.0.9:1001"; })},
      {{"--addr", "7"},
       {"", "3"},
       options([](CollectOptions& o) { o.address = 7, o.connection.com = "3"; })},
      {{"--com", "2", "--addr", "4", "--dir", "/x", "--decimal-card", "--full-year", "--wait", "1"},
       {},
       options([](CollectOptions& o) {
         o.connection.com = "2", o.address = 4, o.folder = "/x", o.decimal_card = true,
         o.full_year = true, o.wait_seconds = 1;
       })},
      {{"--cards", "--addr", "9", "--wait", "3600"},
       {},
       options([](CollectOptions& o) { o.cards = true, o.address = 9, o.wait_seconds = 3600; })},
      {{"--addr=2", "--cards-only", "--format", "csv", "--dir=/y"},
       {},
       options([](CollectOptions& o) {
         o.address = 2, o.cards = true, o.records = false, o.format = cli::CollectFormat::kCsv,
         o.folder = "/y";
       })},
      {{"--addr", "1", "--format=jsonl", "--cards"},
       {},
       options([](CollectOptions& o) { o.format = cli::CollectFormat::kJsonl, o.cards = true; })},
  };
  for (const Case& c : cases) {
    const CollectOptions got = ParseCollectOptions(c.words, c.before);
    const CollectOptions& want = c.expected;
    const std::string where = ::testing::PrintToString(c.words);
    EXPECT_EQ(got.address, want.address) << where;
    EXPECT_EQ(got.connection.tcp, want.connection.tcp) << where;
    EXPECT_EQ(got.connection.com, want.connection.com) << where;
    EXPECT_EQ(got.folder, want.folder) << where;
    EXPECT_EQ(got.decimal_card, want.decimal_card) << where;
    EXPECT_EQ(got.full_year, want.full_year) << where;
    EXPECT_EQ(got.cards, want.cards) << where;
    EXPECT_EQ(got.records, want.records) << where;
    EXPECT_EQ(got.format, want.format) << where;
    EXPECT_EQ(got.wait_seconds, want.wait_seconds) << where;
  }
}

TEST(CollectOptionsTest, RefusesWhatIsNotACollection) {
  struct Case {
    std::vector<std::string> words;
    cli::Connection before;
    std::string says;
  };
  const Case cases[] = {
      {{}, {}, "needs --addr"},
      {{"--dir", "/tmp"}, {}, "needs --addr"},
      {{"--addr"}, {}, "--addr needs a value"},
      {{"--addr", "0"}, {}, "from 1 to 255"},
      {{"--addr", "256"}, {}, "from 1 to 255"},
      {{"--addr", "1x"}, {}, "not '1x'"},
      {{"--addr", "-1"}, {}, "from 1 to 255"},
      {{"--addr", ""}, {}, "from 1 to 255"},
      {{"--addr", "1", "--wait", "0"}, {}, "from 1 to 3600"},
      {{"--addr", "1", "--wait", "2.5"}, {}, "not '2.5'"},
      {{"--addr", "1", "--wait"}, {}, "--wait needs a value"},
      {{"--addr", "1", "--dir", ""}, {}, "--dir needs a folder"},
      {{"--addr", "1", "--cards-only", "--full-year"}, {}, "--full-year is for records"},
      {{"--addr", "1", "--format", "xml"}, {}, "text, csv or jsonl, not 'xml'"},
      {{"--addr", "1", "--format", "csv", "--full-year"}, {}, "are for --format text"},
      {{"--addr", "1", "--format", "jsonl", "--decimal-card"}, {}, "are for --format text"},
      {{"--addr", "1", "--tcp", "h", "--com", "1"}, {}, "exclude each other"},
      {{"--addr", "1", "--com", "1"}, {"h", ""}, "exclude each other"},
      {{"--addr", "1", "--tcp", ""}, {}, "--tcp needs a value"},
      {{"--addr", "1", "extra"}, {}, "unknown argument extra"},
      {{"--addr", "1", "--verbose"}, {}, "unknown argument --verbose"},
  };
  for (const Case& c : cases) {
    try {
      ParseCollectOptions(c.words, c.before);
      ADD_FAILURE() << ::testing::PrintToString(c.words) << " was accepted";
    } catch (const cli::UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
          << ::testing::PrintToString(c.words) << ": " << error.what();
    }
  }
  EXPECT_TRUE(ParseCollectOptions({"--help"}, {}).help) << "help needs nothing else";
}

TEST(CollectStatusTest, TellsCompletePartialAndFailed) {
  EXPECT_EQ(cli::CollectStatus(true, ""), cli::kCollectComplete);
  EXPECT_EQ(cli::CollectStatus(true, kPartLost), cli::kCollectPartial);
  EXPECT_EQ(cli::CollectStatus(false, ""), cli::kCollectFailed);
  EXPECT_EQ(cli::CollectStatus(false, "File path no exist!"), cli::kCollectFailed);
}

// ---- Progress bar ----------------------------------------------------------

// What a bar drew, each line as it was drawn.
class DrawnBar {
 public:
  DrawnBar() : stream_(open_memstream(&data_, &size_)) {}
  ~DrawnBar() {
    std::fclose(stream_);
    std::free(data_);
  }
  std::FILE* stream() { return stream_; }
  std::string text() {
    std::fflush(stream_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_;
};

// The puts GatherData makes for `count` records, each position once.
void FeedCollection(cli::ProgressView& bar, int count) {
  bar.Put("Max", count + 1);
  bar.Put("Min", 0);
  bar.Put("Value", 0);
  for (int position = 0; position < count; ++position) bar.Put("Value", position);
}

TEST(ProgressBarTest, CountsStoredRecordsAgainstTheRecordCount) {
  DrawnBar drawn;
  ProgressBar bar(drawn.stream(), 41, std::chrono::milliseconds(0));
  bar.Put("Max", 301);
  bar.Put("Min", 0);
  bar.Put("Value", 0);
  EXPECT_EQ(bar.stored(), 0) << "the Value after Max resets the bar; no record yet";
  // 40 columns: "records [", a bar of 22, "] " and the count.
  EXPECT_EQ(bar.Line(), "records [" + std::string(22, '-') + "]   0/300");
  bar.Put("Value", 0);
  EXPECT_EQ(bar.stored(), 1);
  for (int position = 1; position < 150; ++position) bar.Put("Value", position);
  EXPECT_EQ(bar.Line(), "records [" + std::string(11, '#') + std::string(11, '-') + "] 150/300");
  EXPECT_EQ(bar.Line().size(), 40u) << "one column short of the terminal's width";
  // A page tried again stores its positions again; the bar does not go back.
  bar.Put("Value", 0);
  EXPECT_EQ(bar.stored(), 150);
  for (int position = 150; position < 300; ++position) bar.Put("Value", position);
  bar.Finish();
  const std::string text = drawn.text();
  EXPECT_EQ(text.substr(text.size() - 41), "records [" + std::string(22, '#') + "] 300/300\n");
  EXPECT_EQ(text.front(), '\r');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(ProgressBarTest, EdgeCounts) {
  struct Case {
    int count;
    int columns;
    std::string last;
  };
  const Case cases[] = {
      {0, 30, "records [" + std::string(15, '#') + "] 0/0"},  // full: nothing to collect
      {1, 30, "records [" + std::string(15, '#') + "] 1/1"},
      {32767, 80, "records [" + std::string(57, '#') + "] 32767/32767"},
      // Too narrow a terminal still gets a bar of 10.
      {300, 12, "records [" + std::string(10, '#') + "] 300/300"},
  };
  for (const Case& c : cases) {
    DrawnBar drawn;
    ProgressBar bar(drawn.stream(), c.columns, std::chrono::milliseconds(0));
    FeedCollection(bar, c.count);
    EXPECT_EQ(bar.Line(), c.last) << c.count;
  }
}

TEST(ProgressBarTest, DrawsOnlyOnceAStartedCollectionAndAtMostEachInterval) {
  DrawnBar drawn;
  {
    ProgressBar bar(drawn.stream(), 40, std::chrono::hours(1));
    bar.Put("Value", 5);
    bar.Put("Other", 1);
    bar.Finish();
    EXPECT_EQ(drawn.text(), "") << "nothing drawn before a Max";
    FeedCollection(bar, 1000);
    bar.Finish();
  }
  const std::string text = drawn.text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 2) << "the first put and the finish";
  EXPECT_NE(text.find("1000/1000\n"), std::string::npos) << text;
}

TEST(ProgressBarTest, TheProgressObjectFeedsTheBar) {
  DrawnBar drawn;
  ProgressBar bar(drawn.stream(), 40, std::chrono::milliseconds(0));
  const DispatchRef object = cli::MakeProgressObject(bar);
  ASSERT_TRUE(object);
  object.Put("max", Variant(int32_t{11}));  // names are case-insensitive
  object.Put("Min", Variant(int16_t{0}));
  object.Put("Value", Variant(int16_t{0}));
  object.Put("Value", Variant(int32_t{9}));
  EXPECT_EQ(bar.stored(), 10);
  EXPECT_EQ(bar.total(), 10);
  object.Call("page", {Variant(1), Variant(1), Variant(int16_t{2}), Variant("0"), Variant(false)});
  EXPECT_TRUE(bar.Line().ends_with(" 10/10 page 1/1, attempt 2")) << bar.Line();
  EXPECT_EQ(object.Invoke("Page", TG_INVOKE_METHOD, {Variant(1)}).number,
            err::kWrongNumberOfArguments);
  EXPECT_EQ(object.Invoke("Page", TG_INVOKE_PROPERTY_GET).number, err::kNotAnObjectProperty)
      << "Page is a method only";
}

// GatherData's reports for 300 records when the last unit of page 1 never
// comes: page 1 is tried twice and lost.
void FeedLostPage(cli::ProgressView& view, const std::function<void()>& at_retry) {
  view.Put("Max", 301);
  view.Put("Min", 0);
  view.Put("Value", 0);
  for (const int attempt : {1, 2}) {
    view.Page(1, 2, attempt, 0, false);
    if (attempt == 2) at_retry();
    for (int position = 0; position < 255; ++position) view.Put("Value", position);
  }
  view.Page(1, 2, 2, 1, true);
  view.Page(2, 2, 1, 1, false);
  for (int position = 256; position < 300; ++position) view.Put("Value", position);
  view.Page(2, 2, 1, 1, true);
}

TEST(PageProgressTest, RetriesAndLostPagesAreShown) {
  DrawnBar logged;
  cli::PageLog log(logged.stream());
  FeedLostPage(log, [] {});
  EXPECT_EQ(logged.text(),
            "page 1/2: attempt 2\n"
            "page 1/2: 255 records, 1 retry, 1 lost page\n"
            "page 2/2: 44 records, 0 retries, 1 lost page\n");

  DrawnBar drawn;
  ProgressBar bar(drawn.stream(), 80, std::chrono::hours(1));
  std::string at_retry;
  FeedLostPage(bar, [&] { at_retry = bar.Line(); });
  EXPECT_TRUE(at_retry.ends_with("] 255/300 page 1/2, attempt 2")) << at_retry;
  EXPECT_TRUE(bar.Line().ends_with("] 300/300 page 2/2, 1 lost page")) << bar.Line();
  EXPECT_EQ(bar.Line().size(), 79u);
  const std::string text = drawn.text();
  EXPECT_NE(text.find(at_retry), std::string::npos) << "a retry is drawn at once: " << text;
}

// ---- Tables as text --------------------------------------------------------------

TEST(TableTextTest, CsvQuotesWhatWouldSplitAFieldAndJsonlKeysEachRow) {
  using cli::Json;
  struct Case {
    Json cell;
    std::string csv;    // the field
    std::string jsonl;  // the value
  };
  const Case cases[] = {
      {"plain", "plain", R"("plain")"},
      {"a,b", R"("a,b")", R"("a,b")"},
      {"say \"hi\"", R"("say ""hi""")", R"("say \"hi\"")"},
      {"two\r\nlines", "\"two\r\nlines\"", R"("two\r\nlines")"},
      {"lf\nonly", "\"lf\nonly\"", R"("lf\nonly")"},
      {"张三", "张三", "\"张三\""},
      {-1, "-1", "-1"},
      {nullptr, "", "null"},
  };
  for (const Case& c : cases) {
    const cli::Table table{{"n", "x"}, {{7, c.cell}}};
    EXPECT_EQ(cli::CsvText(table), "n,x\r\n7," + c.csv + "\r\n") << c.csv;
    EXPECT_EQ(cli::JsonlText(table), R"({"n": 7, "x": )" + c.jsonl + "}\n") << c.jsonl;
  }
}

// ---- The program against the simulated terminal ----------------------------

std::string NoPadHex(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%X", byte);
  return text;
}

std::string Century() {
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return std::to_string(static_cast<int>(std::chrono::year_month_day(today).year()) / 100);
}

int32_t CardValue(const std::array<uint8_t, 4>& card) {
  return static_cast<int32_t>((uint32_t{card[0]} << 24) | (uint32_t{card[1]} << 16) |
                              (uint32_t{card[2]} << 8) | card[3]);
}

std::string DecimalCard(const std::array<uint8_t, 4>& card) {
  char text[16];
  std::snprintf(text, sizeof text, "%010d", CardValue(card));  // the seeded cards are positive
  return text;
}

// The lines terminal 1 seeded with `count` records gives, written
// independently of the library from the simulator's own data.
std::vector<std::string> ExpectedRecordLines(size_t count, bool decimal, bool full_year) {
  std::vector<std::string> lines;
  for (const sim::AttendanceRecord& r : sim::SyntheticRecords(count, 1)) {
    const std::array<uint8_t, 3> date{r.time[0], r.time[1], r.time[2]};
    const std::array<uint8_t, 3> time{r.time[3], r.time[4], r.time[5]};
    lines.push_back("001" + (decimal ? DecimalCard(r.card) : sim::HexDigits(r.card)) +
                    (full_year ? Century() : "") + sim::HexDigits(date) + sim::HexDigits(time) +
                    NoPadHex(r.flag) + NoPadHex(r.keep));
  }
  return lines;
}

// Card number and staff number of each seeded card-list entry; the name
// that follows is the concern of the library's own tests.
std::vector<std::string> ExpectedCardPrefixes(size_t count, bool decimal) {
  std::vector<std::string> prefixes;
  for (const sim::CardEntry& e : sim::SyntheticCards(count, 1)) {
    prefixes.push_back((decimal ? DecimalCard(e.card) : sim::HexDigits(e.card)) +
                       sim::HexDigits(e.staff));
  }
  return prefixes;
}

std::string SummaryLine(const std::string& call, bool result, const std::string& description,
                        int count, const std::string& file) {
  return "{\"call\": \"" + call + "\", \"result\": " + (result ? "true" : "false") +
         ", \"byref\": [\"" + description + "\", " + std::to_string(count) +
         "], \"file\": " + (file.empty() ? "null" : "\"" + file + "\"") + "}";
}

class CollectProgramTest : public ::testing::Test {
 protected:
  static constexpr int kComPort = 5;

  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "no tallygate-sim in this build";
    std::filesystem::create_directories(dir_ / "out");
    env_ = ToolEnvironment(dir_.path());
    const ProgramResult registered = RunProgram(TALLYGATE_REGSVR_PATH, {TALLYGATE_V70_PATH}, env_);
    ASSERT_EQ(registered.exit_status, 0) << registered.err;
  }

  ProgramResult Collect(std::vector<std::string> args) {
    args.insert(args.begin(), "collect");
    return RunProgram(TALLYGATE_CLI_PATH, args, env_);
  }

  // The words that reach the simulator's terminal over TCP or the pty.
  std::vector<std::string> Over(const std::string& transport, const SimProcess& sim) {
    if (transport == "tcp") return {"--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port())};
    env_["TALLYGATE_COM" + std::to_string(kComPort)] = sim.pty_path();
    return {"--com", std::to_string(kComPort)};
  }

  std::string Out(const std::string& name) const { return (dir_ / "out" / name).string(); }

  TempDir dir_;
  std::map<std::string, std::optional<std::string>> env_;
};

TEST_F(CollectProgramTest, CompleteCollectionsWriteTheTerminalsEntries) {
  SimProcess sim({"--tcp-port", "0", "--pty", "--records", "300", "--cards", "20", "--quiet"});
  struct Case {
    std::string transport;
    std::vector<std::string> options;
    bool cards, decimal, full_year;
  };
  const Case cases[] = {
      {"tcp", {}, false, false, false},
      {"pty", {}, false, false, false},
      {"tcp", {"--decimal-card", "--full-year"}, false, true, true},
      {"pty", {"--full-year"}, false, false, true},
      {"tcp", {"--cards-only"}, true, false, false},
      {"pty", {"--cards-only", "--decimal-card"}, true, true, false},
  };
  for (const Case& c : cases) {
    const std::string where = c.transport + ::testing::PrintToString(c.options);
    std::vector<std::string> args = Over(c.transport, sim);
    args.insert(args.end(), {"--addr", "1", "--dir", (dir_ / "out").string()});
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProgramResult result = Collect(args);
    const std::string file = Out(c.cards ? "NameList.txt" : "DataRecordSet_original.txt");
    EXPECT_EQ(result.exit_status, 0) << where << ": " << result.err;
    // No bar when standard error is not a terminal: a line per page.
    const std::string pages = c.cards ? ""
                                      : "page 1/2: 256 records, 0 retries, 0 lost pages\n"
                                        "page 2/2: 44 records, 0 retries, 0 lost pages\n";
    EXPECT_EQ(result.err, pages) << where;
    EXPECT_EQ(result.out, SummaryLine(c.cards ? "GatherSendCardData" : "GatherData", true, "",
                                      c.cards ? 20 : 300, file) +
                              "\n")
        << where;
    const std::vector<std::string> lines = ReadLines(file);
    if (c.cards) {
      const std::vector<std::string> prefixes = ExpectedCardPrefixes(20, c.decimal);
      ASSERT_EQ(lines.size(), prefixes.size()) << where;
      for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, prefixes[i].size()), prefixes[i]) << where << " line " << i;
      }
    } else {
      EXPECT_EQ(lines, ExpectedRecordLines(300, c.decimal, c.full_year)) << where;
    }
    std::filesystem::remove(file);
  }
}

TEST_F(CollectProgramTest, TheCurrentFolderIsTheDefault) {
  SimProcess sim({"--tcp-port", "0", "--records", "3", "--quiet"});
  // The program starts in the test's current folder; the summary names the
  // file by its absolute path.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir_ / "out");
  const ProgramResult result =
      Collect({"--addr", "1", "--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port())});
  std::filesystem::current_path(here);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  const std::filesystem::path real = std::filesystem::canonical(dir_ / "out");
  EXPECT_EQ(result.out,
            SummaryLine("GatherData", true, "", 3, (real / "DataRecordSet_original.txt").string()) +
                "\n");
  EXPECT_EQ(ReadLines(Out("DataRecordSet_original.txt")), ExpectedRecordLines(3, false, false));
}

TEST_F(CollectProgramTest, ATerminalWithoutRecordsLeavesAnEarlierFileAlone) {
  SimProcess sim({"--tcp-port", "0", "--records", "0", "--quiet"});
  WriteFile(Out("DataRecordSet_original.txt"), "yesterday\r\n");
  const ProgramResult result =
      Collect({"--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port()), "--addr", "1", "--dir",
               (dir_ / "out").string()});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, SummaryLine("GatherData", true, "", 0, "") + "\n")
      << "no file was written, so none is named";
  EXPECT_EQ(ReadFile(Out("DataRecordSet_original.txt")), "yesterday\r\n");
}

TEST_F(CollectProgramTest, AUnitMissingInEveryAttemptIsAPartialCollection) {
  struct Case {
    std::string transport;
    std::string fault;
    std::string wait;
  };
  // A unit spoilt on the wire is read and refused: its line alone stays
  // empty. A unit that never comes costs the wait, once per attempt.
  const Case cases[] = {
      {"tcp", "0xBB,page=1,unit=7:every:bad-check", "3"},
      {"pty", "0xBB,page=1,unit=7:every:bad-check", "3"},
      {"tcp", "0xBB,page=1,unit=7:every:drop", "1"},
  };
  for (const Case& c : cases) {
    const std::string where = c.transport + " " + c.fault;
    SimProcess sim({"--tcp-port", "0", "--pty", "--records", "300", "--fault", c.fault, "--quiet"});
    std::vector<std::string> args = Over(c.transport, sim);
    args.insert(args.end(), {"--addr", "1", "--dir", (dir_ / "out").string(), "--wait", c.wait});
    const ProgramResult result = Collect(args);
    EXPECT_EQ(result.exit_status, 3) << where << ": " << result.err;
    const std::vector<std::string> lines = ReadLines(Out("DataRecordSet_original.txt"));
    EXPECT_EQ(result.out,
              SummaryLine("GatherData", true, kPartLost, static_cast<int>(lines.size()),
                          Out("DataRecordSet_original.txt")) +
                  "\n")
        << where;
    EXPECT_NE(result.err.find(std::string("GatherData: ") + kPartLost), std::string::npos)
        << where << ": " << result.err;
    ASSERT_EQ(lines.size(), 300u) << where << ": the second page came whole";
    if (c.fault.ends_with("bad-check")) {
      std::vector<std::string> expected = ExpectedRecordLines(300, false, false);
      expected[7] = "";
      EXPECT_EQ(lines, expected) << where;
    }
    const std::string faults = sim.Control("faults");
    EXPECT_NE(faults.find("(seen 5)"), std::string::npos)
        << where << ": page 1 was asked for five times: " << faults;
    std::filesystem::remove(Out("DataRecordSet_original.txt"));
  }
}

TEST_F(CollectProgramTest, FailedCollectionsSayWhyOnStandardError) {
  // The pty bus has a terminal at address 2 only.
  SimProcess sim({"--pty", "--address", "2", "--records", "5", "--quiet"});
  const std::string com = std::to_string(kComPort);
  env_["TALLYGATE_COM" + com] = sim.pty_path();
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--com", com, "--addr", "1", "--dir", (dir_ / "out").string()},
       "tallygate: GatherData failed: no record count from terminal 1\n"},
      {{"--com", com, "--addr", "1", "--cards-only", "--dir", (dir_ / "out").string()},
       "tallygate: GatherSendCardData failed: no card-list count from terminal 1\n"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Collect(c.args);
    const bool cards = std::find(c.args.begin(), c.args.end(), "--cards-only") != c.args.end();
    EXPECT_EQ(result.exit_status, 1) << c.err;
    EXPECT_EQ(result.err, c.err);
    EXPECT_TRUE(std::regex_match(
        result.out, std::regex(std::string(R"(\{"call": ")") +
                               (cards ? "GatherSendCardData" : "GatherData") +
                               R"(", "result": false, "byref": \["[^"]*", 0\], "file": null\}\n)")))
        << result.out;
  }
  EXPECT_FALSE(std::filesystem::exists(Out("DataRecordSet_original.txt")));
  EXPECT_FALSE(std::filesystem::exists(Out("NameList.txt")));

  // No terminal listening at all: the connection fails first, and says so.
  const ProgramResult unreachable = Collect({"--tcp", "127.0.0.1:1", "--addr", "1"});
  EXPECT_EQ(unreachable.exit_status, 1);
  EXPECT_NE(unreachable.err.find("Connect_Net 127.0.0.1:1 returned false"), std::string::npos)
      << unreachable.err;
}

TEST_F(CollectProgramTest, UsageErrorsAndAMissingObjectExitWith2) {
  const std::vector<std::vector<std::string>> usages = {
      {},
      {"--addr", "300"},
      {"--addr", "1", "--wait", "-3"},
      {"--addr", "1", "--cards-only", "--full-year"},
      {"--addr", "1", "--tcp", "127.0.0.1", "--com", "1"},
      {"--addr", "1", "somewhere"},
  };
  for (const auto& args : usages) {
    const ProgramResult result = Collect(args);
    EXPECT_EQ(result.exit_status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("(try: tallygate collect --help)"), std::string::npos) << result.err;
  }
  // --tcp before the word collect counts too.
  const ProgramResult both =
      RunProgram(TALLYGATE_CLI_PATH, {"--tcp", "127.0.0.1", "collect", "--com", "1", "--addr", "1"}, env_);
  EXPECT_EQ(both.exit_status, 2);

  const ProgramResult help = Collect({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("tallygate collect"), std::string::npos);

  env_["TALLYGATE_REGISTRY"] = (dir_ / "empty-registry").string();
  const ProgramResult unregistered = Collect({"--tcp", "127.0.0.1:1", "--addr", "1"});
  EXPECT_EQ(unregistered.exit_status, 2);
  EXPECT_EQ(unregistered.out, "");
  EXPECT_NE(unregistered.err.find("cannot create"), std::string::npos) << unregistered.err;
}

TEST_F(CollectProgramTest, ALogShowsEachRetryAndEachPage) {
  SimProcess sim({"--tcp-port", "0", "--records", "300", "--fault", "0xBB,page=1,unit=5:1:drop",
                  "--quiet"});
  // Two seconds a unit: one second was too short for the count's reply on a
  // machine loaded with sanitizer builds.
  const ProgramResult result =
      Collect({"--tcp", "127.0.0.1:" + std::to_string(sim.tcp_port()), "--addr", "1", "--dir",
               (dir_ / "out").string(), "--wait", "2"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err,
            "page 1/2: attempt 2\n"
            "page 1/2: 256 records, 1 retry, 0 lost pages\n"
            "page 2/2: 44 records, 0 retries, 0 lost pages\n");
  EXPECT_EQ(ReadLines(Out("DataRecordSet_original.txt")), ExpectedRecordLines(300, false, false));
}

// Reads a csv file with Python's csv module, or a jsonl file line by line
// with its json module, and prints the rows as one JSON array.
constexpr const char* kReadRows = R"(
import csv, json, sys
path, form = sys.argv[1], sys.argv[2]
with open(path, newline='', encoding='utf-8') as f:
    rows = list(csv.DictReader(f, strict=True)) if form == 'csv' else [json.loads(l) for l in f]
print(json.dumps(rows))
)";

// A row as the csv module reads it: every field a text, null empty.
nlohmann::json AsCsvRow(const nlohmann::json& row) {
  nlohmann::json texts = nlohmann::json::object();
  for (const auto& [key, value] : row.items()) {
    texts[key] = value.is_string() ? value.get<std::string>() : value.is_null() ? "" : value.dump();
  }
  return texts;
}

TEST_F(CollectProgramTest, CsvAndJsonlReadBackAsTheTerminalHoldsThem) {
  SimProcess sim({"--tcp-port", "0", "--records", "3", "--quiet"});
  const std::string target = "127.0.0.1:" + std::to_string(sim.tcp_port());
  // Names with a comma and a double quote, and in Chinese; a record whose
  // month is 13.
  const ProgramResult stored = RunProgram(
      TALLYGATE_CLI_PATH, {"--tcp", target, "script"}, env_,
      "CardSendToMachine 1 7 123 'a,\"b' 0 ''\n"
      "CardSendToMachine 1 8 124 张三 0 ''\n"
      "SendRecordToMachine 1 0012D687 261399250000 12 34\n");
  ASSERT_EQ(stored.exit_status, 0) << stored.out << stored.err;

  nlohmann::json records = nlohmann::json::array();
  const auto synthetic = sim::SyntheticRecords(3, 1);
  for (size_t i = 0; i < synthetic.size(); ++i) {
    const sim::AttendanceRecord& r = synthetic[i];
    const std::string t = sim::HexDigits(r.time);
    records.push_back({{"terminal", 1}, {"position", i}, {"card_hex", sim::HexDigits(r.card)},
                       {"card", CardValue(r.card)},
                       {"date", Century() + t.substr(0, 2) + "-" + t.substr(2, 2) + "-" + t.substr(4, 2)},
                       {"time", t.substr(6, 2) + ":" + t.substr(8, 2) + ":" + t.substr(10, 2)},
                       {"flag", NoPadHex(r.flag)}, {"keep", NoPadHex(r.keep)}});
  }
  records.push_back({{"terminal", 1}, {"position", 3}, {"card_hex", "0012D687"},
                     {"card", 1234567}, {"date", nullptr}, {"time", nullptr},
                     {"flag", "12"}, {"keep", "34"}});
  const nlohmann::json cards = {
      {{"position", 0}, {"card_hex", "00000007"}, {"card", 7}, {"staff", "00000123"},
       {"name", "a,\"b"}},
      {{"position", 1}, {"card_hex", "00000008"}, {"card", 8}, {"staff", "00000124"},
       {"name", "张三"}},
  };

  for (const std::string form : {"csv", "jsonl"}) {
    const ProgramResult result = Collect({"--tcp", target, "--addr", "1", "--dir",
                                          (dir_ / "out").string(), "--cards", "--format", form});
    ASSERT_EQ(result.exit_status, 0) << form << ": " << result.err;
    const std::string record_file = Out("DataRecordSet_original." + form);
    const std::string card_file = Out("NameList." + form);
    EXPECT_EQ(result.out, SummaryLine("GatherData", true, "", 4, record_file) + "\n" +
                              SummaryLine("GatherSendCardData", true, "", 2, card_file) + "\n")
        << "the records, then the cards";
    const std::pair<std::string, nlohmann::json> tables[] = {{record_file, records},
                                                             {card_file, cards}};
    for (const auto& [file, rows] : tables) {
      const ProgramResult read = RunProgram("/usr/bin/env", {"python3", "-c", kReadRows, file, form});
      if (read.exit_status == 127) GTEST_SKIP() << "no python3";
      ASSERT_EQ(read.exit_status, 0) << file << ": " << read.err;
      nlohmann::json expected = rows;
      if (form == "csv") {
        for (nlohmann::json& row : expected) row = AsCsvRow(row);
      }
      EXPECT_EQ(nlohmann::json::parse(read.out), expected) << file;
    }
    if (form == "csv") {
      EXPECT_EQ(ReadFile(card_file).substr(0, 36), "position,card_hex,card,staff,name\r\n0");
    }
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir_ / "out")) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"DataRecordSet_original.csv",
                                            "DataRecordSet_original.jsonl", "NameList.csv",
                                            "NameList.jsonl"}))
      << "no text file and no temporary folder left";
}

// Runs the program with standard error on a pseudo-terminal of `columns`
// columns; returns the exit status, standard output and what the terminal
// received.
struct TerminalRun {
  int exit_status = -1;
  std::string out;
  std::string terminal;
};

TerminalRun RunWithTerminalStderr(const std::vector<std::string>& args,
                                  const std::map<std::string, std::optional<std::string>>& env,
                                  unsigned short columns) {
  for (const auto& [name, value] : env) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(master, 0);
  grantpt(master);
  unlockpt(master);
  const winsize size{24, columns, 0, 0};
  ioctl(master, TIOCSWINSZ, &size);
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  int out[2];
  EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);

  std::vector<std::string> argv{TALLYGATE_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildStart start;
  start.Open(STDIN_FILENO, "/dev/null", O_RDONLY).Dup(out[1], STDOUT_FILENO).Dup(slave, STDERR_FILENO);
  pid_t pid = -1;
  const int spawned = start.Spawn(argv, pid);
  close(slave);
  close(out[1]);
  TerminalRun run;
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
    close(master);
    close(out[0]);
    return run;
  }
  // The terminal's output until the program's end closes its last slave
  // descriptor; standard output holds one line, which the pipe keeps.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd entry{master, POLLIN, 0};
    if (poll(&entry, 1, 1000) <= 0) continue;
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO: no slave left open
    run.terminal.append(buffer, static_cast<size_t>(n));
  }
  ssize_t n = 0;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, static_cast<size_t>(n));
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  close(master);
  close(out[0]);
  return run;
}

TEST_F(CollectProgramTest, AProgressBarWhenStandardErrorIsATerminal) {
  SimProcess sim({"--tcp-port", "0", "--records", "300", "--cards", "4", "--quiet"});
  const std::string where = "127.0.0.1:" + std::to_string(sim.tcp_port());
  const TerminalRun records = RunWithTerminalStderr(
      {"collect", "--tcp", where, "--addr", "1", "--dir", (dir_ / "out").string()}, env_, 50);
  EXPECT_EQ(records.exit_status, 0) << records.terminal;
  EXPECT_EQ(records.out, SummaryLine("GatherData", true, "", 300, Out("DataRecordSet_original.txt")) + "\n");
  // The terminal's line discipline turns the final line feed into CR LF.
  const std::string last = "\rrecords [" + std::string(22, '#') + "] 300/300 page 2/2\r\n";
  ASSERT_GE(records.terminal.size(), last.size()) << records.terminal;
  EXPECT_EQ(records.terminal.substr(records.terminal.size() - last.size()), last)
      << records.terminal;
  EXPECT_EQ(records.terminal.rfind("\rrecords [-", 0), 0u) << "drawn from the start: "
                                                           << records.terminal;

  const TerminalRun cards = RunWithTerminalStderr(
      {"collect", "--tcp", where, "--addr", "1", "--cards-only", "--dir", (dir_ / "out").string()},
      env_, 50);
  EXPECT_EQ(cards.exit_status, 0) << cards.terminal;
  EXPECT_EQ(cards.terminal, "") << "card lists report no progress";
}

}  // namespace
}  // namespace tallygate::testing
