// The terminal API against tallygate-sim: why a call failed, fetching from any
// position, the frame trace, and two lines used from two threads at once.
#include "tallygate/terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <stop_token>
#include <thread>

#include "tallygate/record_values.h"
#include "sim/client/sim_process.h"
#include "tallygate/connect_v70.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::SimProcess;
using namespace std::chrono_literals;

class LineTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}) {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    std::vector<std::string> args{"--tcp-port", "0", "--pty", "--address", "1", "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_.emplace(args);
  }
  std::unique_ptr<Line> Tcp(LineOptions options = {}) {
    auto line = Line::Open(TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim_->tcp_port())},
                           std::move(options));
    EXPECT_TRUE(line) << line.error().message();
    return line ? std::move(*line) : nullptr;
  }
  std::unique_ptr<Line> Serial() {
    auto line = Line::Open(SerialEndpoint{sim_->pty_path()});
    EXPECT_TRUE(line) << line.error().message();
    return line ? std::move(*line) : nullptr;
  }
  void Fault(const std::string& rule) { ASSERT_EQ(sim_->Control("fault " + rule).rfind("ok", 0), 0u); }

  std::optional<SimProcess> sim_;
};

// Every kind of failure comes back with its own code.
TEST_F(LineTest, EveryFailureSaysWhy) {
  Start();
  auto line = Tcp();
  ASSERT_TRUE(line);
  const CallOptions quick{0.5s, {}};
  struct Case {
    const char* fault;
    ErrorCode code;
  };
  const Case cases[] = {
      {"GetStorageModel:next:drop", ErrorCode::kNoReply},
      {"GetStorageModel:next:short=2", ErrorCode::kNoReply},
      {"GetStorageModel:next:wrong-address", ErrorCode::kOtherAddress},
      {"GetStorageModel:next:bad-check", ErrorCode::kBadCheck},
      {"GetStorageModel:next:wrong-echo", ErrorCode::kWrongEcho},
  };
  for (const Case& c : cases) {
    Fault(c.fault);
    const Result<uint8_t> mode = line->StorageMode(1, quick);
    ASSERT_FALSE(mode) << c.fault;
    EXPECT_EQ(mode.error().code(), c.code) << c.fault << ": " << mode.error().message();
    EXPECT_NE(mode.error().message().find("terminal 1"), std::string::npos) << mode.error().message();
    ASSERT_TRUE(line->StorageMode(1, quick)) << "the line works again after " << c.fault;
  }
  EXPECT_EQ(line->SetStorageMode(1, 3).error().code(), ErrorCode::kInvalidArgument);
  EXPECT_EQ(line->ShowMessage(1, 5, "hi").error().code(), ErrorCode::kInvalidArgument)
      << "messages need the serial bus";

  Fault("ClearFlag:next:close");
  const Status closed = line->ClearFlag(1, quick);
  ASSERT_FALSE(closed);
  EXPECT_EQ(closed.error().code(), ErrorCode::kClosed) << closed.error().message();
}

TEST_F(LineTest, OpeningFailuresSayWhy) {
  Start();
  // A port nobody listens on: the simulator's, after it has gone.
  const auto port = static_cast<uint16_t>(sim_->tcp_port());
  auto busy = Line::Open(SerialEndpoint{sim_->pty_path()});
  ASSERT_TRUE(busy) << busy.error().message();
  struct Case {
    Endpoint endpoint;
    ErrorCode code;
  };
  const Case cases[] = {
      {SerialEndpoint{"/dev/no-such-tallygate-device"}, ErrorCode::kNoSuchDevice},
      {SerialEndpoint{sim_->pty_path()}, ErrorCode::kDeviceBusy},
      {TcpEndpoint{"no-such-host.invalid", 1001}, ErrorCode::kHostNotFound},
  };
  for (const Case& c : cases) {
    const auto line = Line::Open(c.endpoint);
    ASSERT_FALSE(line);
    EXPECT_EQ(line.error().code(), c.code) << line.error().message();
  }
  sim_->Stop();
  const auto refused = Line::Open(TcpEndpoint{"127.0.0.1", port});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code(), ErrorCode::kRefused) << refused.error().message();
}

TEST_F(LineTest, HostNamesAndIpv6LiteralsConnect) {
  Start();
  // The simulator listens on IPv4 loopback; "localhost" must find it.
  auto line = Line::Open(TcpEndpoint{"localhost", static_cast<uint16_t>(sim_->tcp_port())});
  ASSERT_TRUE(line) << line.error().message();
  EXPECT_TRUE((*line)->ClearFlag(1));
}

TEST_F(LineTest, AStopEndsAWaitAtOnce) {
  Start();
  auto line = Tcp();
  ASSERT_TRUE(line);
  Fault("ClearRecord:next:drop");
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  const Status status = line->ClearRecords(1, CallOptions{std::nullopt, stop.get_token()});
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().code(), ErrorCode::kStopped);
  EXPECT_LT(took, 5s) << "a 10 s wait that was stopped after 0.2 s";
}

// Fetching from the middle of a page and from a page boundary asks only for
// the pages holding those positions, and delivers exactly the records a
// whole fetch has at those positions.
TEST_F(LineTest, FetchStartsAtAnyPosition) {
  Start({"--records", "600"});
  auto line = Tcp();
  ASSERT_TRUE(line);
  std::vector<AttendanceRecord> all;
  const auto whole = line->FetchRecords(1, 0, [&](const AttendanceRecord& r) { all.push_back(r); });
  ASSERT_TRUE(whole) << whole.error().message();
  ASSERT_TRUE(whole->complete());
  ASSERT_EQ(all.size(), 600u);

  struct Case {
    int32_t from;
    std::vector<int32_t> pages;
  };
  for (const Case& c : {Case{300, {2, 3}}, Case{512, {3}}, Case{599, {3}}, Case{600, {}}}) {
    std::vector<AttendanceRecord> got;
    const auto report =
        line->FetchRecords(1, c.from, [&](const AttendanceRecord& r) { got.push_back(r); });
    ASSERT_TRUE(report) << report.error().message();
    std::vector<int32_t> pages;
    for (const PageReport& page : report->pages) pages.push_back(page.page);
    EXPECT_EQ(pages, c.pages) << "from " << c.from;
    EXPECT_TRUE(report->complete()) << "from " << c.from;
    ASSERT_EQ(got.size(), static_cast<size_t>(600 - c.from)) << "from " << c.from;
    for (const AttendanceRecord& r : got) {
      EXPECT_EQ(r.raw, all[static_cast<size_t>(r.position)].raw) << "position " << r.position;
    }
  }
  EXPECT_EQ(line->FetchRecords(1, 601, [](const AttendanceRecord&) {}).error().code(),
            ErrorCode::kInvalidArgument);
}

// A unit missed on the first attempt at its page comes with the second; no
// record is delivered twice, and the report says what the page took.
TEST_F(LineTest, ARetriedPageDeliversEachRecordOnce) {
  Start({"--records", "300", "--fault", "0xBB,page=1,unit=5:1:drop", "--fault",
         "0xBB,page=2,unit=3:every:bad-check"});
  auto line = Tcp();
  ASSERT_TRUE(line);
  std::multiset<int32_t> positions;
  FetchOptions options;
  options.unit_wait = 0.3s;
  // Page events as "page:attempt" and "page:done:records so far".
  std::vector<std::string> events;
  options.on_page = [&](const PageReport& page, bool done) {
    events.push_back(std::to_string(page.page) + ":" +
                     (done ? "done:" + std::to_string(positions.size())
                           : std::to_string(page.attempts)));
  };
  const auto report =
      line->FetchRecords(1, 0, [&](const AttendanceRecord& r) { positions.insert(r.position); },
                         options);
  ASSERT_TRUE(report) << report.error().message();
  EXPECT_EQ(events, (std::vector<std::string>{"1:1", "1:2", "1:done:256", "2:1", "2:2", "2:3",
                                              "2:4", "2:5", "2:done:299"}));
  ASSERT_EQ(report->pages.size(), 2u);
  EXPECT_EQ(report->pages[0].attempts, 2);
  EXPECT_TRUE(report->pages[0].missed.empty());
  EXPECT_EQ(report->pages[1].attempts, 5) << "a unit spoiled in every attempt";
  EXPECT_EQ(report->pages[1].missed, std::vector<int32_t>{259});
  EXPECT_FALSE(report->complete());
  EXPECT_EQ(report->delivered, 299);
  EXPECT_EQ(positions.size(), 299u);
  for (int32_t p : positions) EXPECT_EQ(positions.count(p), 1u) << "position " << p;
  EXPECT_EQ(positions.count(259), 0u);
}

// A page whose positions all came over two attempts, each spoiling a
// different unit, is complete: it is not asked for again, nor counted lost.
// Three such pages do not end the fetch before the fourth.
TEST_F(LineTest, APageIsRetriedOnlyWhilePositionsAreMissing) {
  std::vector<std::string> args{"--records", "1000"};
  for (const char* page : {"1", "2", "3"}) {
    for (const char* rule : {",unit=5:1:bad-check", ",unit=9:2-5:bad-check"}) {
      args.push_back("--fault");
      args.push_back(std::string("0xBB,page=") + page + rule);
    }
  }
  Start(args);
  auto line = Tcp();
  ASSERT_TRUE(line);
  std::set<int32_t> positions;
  const auto report =
      line->FetchRecords(1, 0, [&](const AttendanceRecord& r) { positions.insert(r.position); });
  ASSERT_TRUE(report) << report.error().message();
  EXPECT_TRUE(report->complete());
  EXPECT_FALSE(report->stopped_early);
  EXPECT_EQ(positions.size(), 1000u);
  ASSERT_EQ(report->pages.size(), 4u);
  for (const PageReport& page : report->pages) {
    EXPECT_EQ(page.attempts, page.page <= 3 ? 2 : 1) << "page " << page.page;
    EXPECT_TRUE(page.missed.empty()) << "page " << page.page;
  }
}

// Units carry no position. A unit dropped in every attempt at its page
// shifts the units after it, so no unit of that page has a certain position:
// none is delivered, and the report says all are missing.
TEST_F(LineTest, AUnitDroppedInEveryAttemptCostsItsPageNotAWrongPosition) {
  Start({"--records", "300"});
  auto line = Tcp();
  ASSERT_TRUE(line);
  std::vector<AttendanceRecord> whole;
  ASSERT_TRUE(line->FetchRecords(1, 0, [&](const AttendanceRecord& r) { whole.push_back(r); }));
  ASSERT_EQ(whole.size(), 300u);
  Fault("0xBB,page=2,unit=5:every:drop");
  FetchOptions options;
  options.unit_wait = 0.2s;
  std::vector<AttendanceRecord> got;
  const auto report =
      line->FetchRecords(1, 0, [&](const AttendanceRecord& r) { got.push_back(r); }, options);
  ASSERT_TRUE(report) << report.error().message();
  EXPECT_EQ(report->delivered, 256);
  ASSERT_EQ(report->pages.size(), 2u);
  EXPECT_EQ(report->pages[1].missed.size(), 44u);
  for (const AttendanceRecord& r : got) {
    EXPECT_EQ(r.raw, whole[static_cast<size_t>(r.position)].raw) << "position " << r.position;
  }
}

TEST(RecordValues, ADateThatIsNoDateIsKeptWithItsBytes) {
  struct Case {
    std::array<uint8_t, 6> bcd;
    const char* expected;  // nullptr: no valid time
  };
  const Case cases[] = {
      {{0x24, 0x03, 0x15, 0x08, 0x30, 0x05}, "2024-03-15 08:30:05"},
      {{0x24, 0x02, 0x29, 0x23, 0x59, 0x59}, "2024-02-29 23:59:59"},
      {{0x23, 0x02, 0x29, 0x00, 0x00, 0x00}, nullptr},  // no 29 February in 2023
      {{0x24, 0x13, 0x01, 0x00, 0x00, 0x00}, nullptr},  // month 13
      {{0x24, 0x01, 0x1A, 0x00, 0x00, 0x00}, nullptr},  // not BCD
      {{0x24, 0x01, 0x01, 0x24, 0x00, 0x00}, nullptr},  // hour 24
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, nullptr},  // erased memory
  };
  for (const Case& c : cases) {
    std::array<uint8_t, 16> unit{1, 0, 0, 0x00, 0x12, 0xD6, 0x87};
    std::copy(c.bcd.begin(), c.bcd.end(), unit.begin() + 7);
    unit[13] = 0x01;
    unit[14] = 0x99;
    const AttendanceRecord record = RecordFromUnit(1, 7, unit);
    EXPECT_EQ(record.card, 0x0012D687u);
    EXPECT_EQ(record.time_bytes(), c.bcd);
    EXPECT_EQ(record.raw, unit);
    if (c.expected == nullptr) {
      EXPECT_FALSE(record.time);
    } else {
      ASSERT_TRUE(record.time);
      const auto day = std::chrono::floor<std::chrono::days>(*record.time);
      const std::chrono::year_month_day date{day};
      const std::chrono::hh_mm_ss<std::chrono::seconds> clock{*record.time - day};
      char text[32];
      std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                    static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                    static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                    static_cast<int>(clock.seconds().count()));
      EXPECT_EQ(std::string(text), c.expected);
    }
  }
}

// The trace callback sees each block as it goes out and comes in.
TEST_F(LineTest, TraceSeesEveryBlock) {
  Start();
  std::vector<std::string> trace;
  LineOptions options;
  options.trace = [&](TraceDirection direction, std::span<const uint8_t> bytes,
                      std::chrono::steady_clock::time_point) {
    trace.push_back(TraceLine(direction, bytes));
  };
  auto line = Tcp(std::move(options));
  ASSERT_TRUE(line);
  ASSERT_TRUE(line->ClearFlag(1));
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[0], "> 01");
  EXPECT_EQ(trace[1], "> 03 02 00");
  EXPECT_EQ(trace[2].substr(0, 5), "< 01 ");
  EXPECT_EQ(trace[2].size(), std::string("< 01 00 02 03").size());
}

// TALLYGATE_TRACE=1 traces the Connect_v70 object's frames too, to standard
// error, through the same path.
TEST_F(LineTest, EnvironmentTracesTheObjectToStandardError) {
  Start();
  setenv("TALLYGATE_TRACE", "1", 1);
  testing::TempDir home;
  testing::ScopedEnv home_env("TALLYGATE_HOME", home.path().string());
  testing::ScopedEnv locale_env("TALLYGATE_SYSTEM_LOCALE", "C");
  Connect_v70 object;
  object.Mode(1);
  ASSERT_TRUE(object.Connect_Net("127.0.0.1", sim_->tcp_port()));
  ::testing::internal::CaptureStderr();
  const bool cleared = object.ClearFlag(1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(cleared);
  EXPECT_EQ(err.substr(0, std::string("> 01\n> 03 02 00\n< 01 ").size()), "> 01\n> 03 02 00\n< 01 ")
      << err;
}

// Two lines, one per thread, at the same time: each gets its own terminal's
// records, all of them.
TEST_F(LineTest, TwoLinesOnTwoThreads) {
  Start({"--records", "700"});
  auto tcp = Tcp();
  auto serial = Serial();
  ASSERT_TRUE(tcp && serial);
  std::vector<AttendanceRecord> over_tcp, over_serial;
  Result<FetchReport> tcp_report = Error(ErrorCode::kIoError, "not run");
  Result<FetchReport> serial_report = Error(ErrorCode::kIoError, "not run");
  {
    std::jthread a([&] {
      tcp_report = tcp->FetchRecords(1, 0, [&](const AttendanceRecord& r) { over_tcp.push_back(r); });
    });
    std::jthread b([&] {
      serial_report =
          serial->FetchRecords(1, 0, [&](const AttendanceRecord& r) { over_serial.push_back(r); });
    });
  }
  ASSERT_TRUE(tcp_report) << tcp_report.error().message();
  ASSERT_TRUE(serial_report) << serial_report.error().message();
  EXPECT_TRUE(tcp_report->complete());
  EXPECT_TRUE(serial_report->complete());
  ASSERT_EQ(over_tcp.size(), 700u);
  ASSERT_EQ(over_serial.size(), 700u);
  for (size_t i = 0; i < over_tcp.size(); ++i) {
    EXPECT_EQ(over_tcp[i].raw, over_serial[i].raw) << "position " << i;
    EXPECT_EQ(over_tcp[i].position, static_cast<int32_t>(i));
  }
}

}  // namespace
}  // namespace tallygate
