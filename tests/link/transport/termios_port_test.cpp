#include "link/transport/termios_port.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "link/transport/wait.h"
#include "tallygate/basic_error.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::PtyPair;

constexpr int16_t kCom = 7;
constexpr const char* kComVariable = "TALLYGATE_COM7";

// The error number a call throws, and its description; 0 when it throws none.
struct Thrown {
  int32_t number = 0;
  std::string description;
};

Thrown ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const BasicError& error) {
    return {error.number(), error.description()};
  }
  return {};
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
  return bytes;
}

// ---------------------------------------------------------------------------
// Line settings to termios, without a device.

struct TermiosCase {
  const char* text;
  speed_t speed;
  tcflag_t parity;  // PARENB, PARODD, CMSPAR as wanted
  tcflag_t size;
  bool two_stop_bits;
};

void PrintTo(const TermiosCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class ApplyLineSettingsTest : public ::testing::TestWithParam<TermiosCase> {};

TEST_P(ApplyLineSettingsTest, MakesARawLineWithTheseSettings) {
  const TermiosCase& c = GetParam();
  // Every flag set to begin with: whatever the settings leave must be cleared.
  termios tty;
  std::memset(&tty, 0xFF, sizeof tty);
  const auto settings = ParseLineSettings(c.text);
  ASSERT_TRUE(settings);
  ASSERT_TRUE(ApplyLineSettings(*settings, tty));

  EXPECT_EQ(cfgetospeed(&tty), c.speed);
  EXPECT_EQ(cfgetispeed(&tty), c.speed);
  EXPECT_EQ(tty.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
  EXPECT_EQ(tty.c_cflag & CSIZE, c.size);
  EXPECT_EQ((tty.c_cflag & CSTOPB) != 0, c.two_stop_bits);
  EXPECT_EQ(tty.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(tty.c_cflag & CRTSCTS, 0u);
  // No flow control, no parity check (replies carry either ninth bit), no
  // translation of any byte.
  EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | IGNPAR | ICRNL |
                           INLCR | IGNCR | BRKINT),
            0u);
  EXPECT_EQ(tty.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tty.c_oflag & OPOST, 0u);
  EXPECT_EQ(tty.c_cc[VMIN], 1);
  EXPECT_EQ(tty.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ApplyLineSettingsTest,
    ::testing::Values(TermiosCase{"19200,n,8,2", B19200, 0, CS8, true},
                      TermiosCase{"19200,s,8,1", B19200, PARENB | CMSPAR, CS8, false},
                      TermiosCase{"19200,m,8,1", B19200, PARENB | CMSPAR | PARODD, CS8, false},
                      TermiosCase{"9600,e,7,1", B9600, PARENB, CS7, false},
                      TermiosCase{"115200,o,8,2", B115200, PARENB | PARODD, CS8, true},
                      TermiosCase{"50,n,7,2", B50, 0, CS7, true},
                      TermiosCase{"4000000,N,8,1", B4000000, 0, CS8, false}));

TEST(ApplyLineSettingsRefusalTest, RefusesRatesWithoutATermiosSpeed) {
  for (int32_t rate : {12345, 19201, 49, 5000000, 4000001}) {
    SCOPED_TRACE(rate);
    termios tty{};
    cfsetospeed(&tty, B9600);
    tty.c_cflag |= CS7 | PARENB;
    const termios before = tty;
    LineSettings settings;
    settings.rate = rate;
    EXPECT_FALSE(ApplyLineSettings(settings, tty));
    EXPECT_EQ(std::memcmp(&tty, &before, sizeof tty), 0);
  }
}

// ---------------------------------------------------------------------------
// The port on a pseudo-terminal.

class TermiosPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(setenv(kComVariable, pty_.slave_path().c_str(), 1), 0);
    port_.SetCommPort(kCom);
  }
  void TearDown() override { unsetenv(kComVariable); }

  // Waits, as an exchange does, until the port counts `count` bytes.
  bool AwaitCount(int count, double seconds = 5.0) {
    return WaitUntil(
        seconds, [&] { return port_.InBufferCount() >= count; },
        [&](milliseconds limit) { port_.AwaitInput(limit); });
  }

  PtyPair pty_;
  TermiosPort port_;
};

struct DeviceSettingsCase {
  const char* text;
  speed_t speed;
  bool mark_or_space;  // CMSPAR
  bool odd_or_mark;    // PARODD
  bool two_stop_bits;
};

// A pseudo-terminal keeps all of these but the parity enable and the
// character size, which ApplyLineSettingsTest covers.
TEST_F(TermiosPortTest, LineSettingsReachTheDeviceAtOnce) {
  const DeviceSettingsCase cases[] = {
      {"19200,s,8,1", B19200, true, false, false}, {"19200,n,8,2", B19200, false, false, true},
      {"19200,m,8,1", B19200, true, true, false},  {"9600,o,7,2", B9600, false, true, true},
      {"19200,e,8,1", B19200, false, false, false}, {"115200, S ,8,1", B115200, true, false, false},
  };
  port_.SetPortOpen(true);
  for (const DeviceSettingsCase& c : cases) {
    SCOPED_TRACE(c.text);
    port_.SetSettings(c.text);
    EXPECT_EQ(port_.Settings(), c.text);
    const termios tty = pty_.SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tty), c.speed);
    EXPECT_EQ(cfgetispeed(&tty), c.speed);
    EXPECT_EQ((tty.c_cflag & CMSPAR) != 0, c.mark_or_space);
    EXPECT_EQ((tty.c_cflag & PARODD) != 0, c.odd_or_mark);
    EXPECT_EQ((tty.c_cflag & CSTOPB) != 0, c.two_stop_bits);
    EXPECT_EQ(tty.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | INPCK), 0u);
    EXPECT_EQ(tty.c_lflag & (ICANON | ECHO), 0u);
  }
}

TEST_F(TermiosPortTest, SettingsMadeWhileClosedApplyAtOpen) {
  port_.SetSettings("19200,m,8,2");
  port_.SetPortOpen(true);
  const termios tty = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&tty), static_cast<speed_t>(B19200));
  const tcflag_t mark_two_stop = CMSPAR | PARODD | CSTOPB;
  EXPECT_EQ(tty.c_cflag & mark_two_stop, mark_two_stop);
  EXPECT_EQ(tty.c_lflag & (ICANON | ECHO), 0u);
}

// The same parity settings again, on the open port and at the next open: a
// device that does not keep the parity enable must not make them fail.
TEST_F(TermiosPortTest, RepeatedParitySettingsAreAccepted) {
  port_.SetSettings("19200,s,8,1");
  port_.SetPortOpen(true);
  EXPECT_NO_THROW(port_.SetSettings("19200,s,8,1"));
  port_.SetPortOpen(false);
  EXPECT_NO_THROW(port_.SetPortOpen(true));
  EXPECT_NO_THROW(port_.SetSettings("19200,n,8,2"));
  EXPECT_NO_THROW(port_.SetSettings("19200,s,8,1"));
}

TEST_F(TermiosPortTest, InvalidSettingsChangeNothing) {
  const char* invalid[] = {"",           "19200",        "19200,x,8,1",   "19200,n,9,1",
                           "19200,n,8,3", "abc,n,8,1",    "12345,n,8,1",   "-9600,n,8,1",
                           "19200,n,8,1,1", "5000000,n,8,1", "19200,,8,1"};
  port_.SetSettings("19200,s,8,1");
  for (bool open : {false, true}) {
    if (open) port_.SetPortOpen(true);
    const termios device_before = pty_.SlaveTermios();
    for (const char* text : invalid) {
      SCOPED_TRACE(std::string(open ? "open: \"" : "closed: \"") + text + "\"");
      EXPECT_EQ(ErrorOf([&] { port_.SetSettings(text); }).number, err::kInvalidPropertyValue);
      EXPECT_EQ(port_.Settings(), "19200,s,8,1");
      const termios device_after = pty_.SlaveTermios();
      EXPECT_EQ(device_after.c_cflag, device_before.c_cflag);
      EXPECT_EQ(device_after.c_iflag, device_before.c_iflag);
      EXPECT_EQ(device_after.c_lflag, device_before.c_lflag);
      EXPECT_EQ(cfgetospeed(&device_after), cfgetospeed(&device_before));
    }
  }
}

TEST_F(TermiosPortTest, OutputArrivesInOrderUnchanged) {
  const Bytes bytes = Pattern(600);  // every byte value, XON, XOFF, CR and LF among them
  port_.SetPortOpen(true);
  port_.Output(std::span(bytes).first(1));
  port_.Output(std::span(bytes).subspan(1, 299));
  port_.Output(std::span(bytes).subspan(300));
  EXPECT_EQ(pty_.Read(bytes.size(), milliseconds(5000)), bytes);
}

TEST_F(TermiosPortTest, InputTakesAtMostInputLenAndZeroTakesAll) {
  Bytes bytes(256);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(255 - i);
  port_.SetPortOpen(true);
  pty_.Write(bytes);
  ASSERT_TRUE(AwaitCount(256));
  EXPECT_EQ(port_.InBufferCount(), 256);

  port_.SetInputLen(4);
  EXPECT_EQ(port_.Input(), Bytes(bytes.begin(), bytes.begin() + 4));
  EXPECT_EQ(port_.InBufferCount(), 252);
  pty_.Write({7, 8});
  port_.AwaitInput(milliseconds(5000));  // the two still in the device
  port_.SetInputLen(0);
  Bytes rest(bytes.begin() + 4, bytes.end());
  rest.insert(rest.end(), {7, 8});
  EXPECT_EQ(port_.Input(), rest);
  EXPECT_EQ(port_.InBufferCount(), 0);
  EXPECT_TRUE(port_.Input().empty());
}

// More than the count can show: the count stops at 32767, no byte is lost.
TEST_F(TermiosPortTest, LargeInputIsCountedUpTo32767AndKeptWhole) {
  const Bytes bytes = Pattern(40000);
  port_.SetPortOpen(true);
  std::thread far_end([&] { pty_.Write(bytes); });
  const bool counted = AwaitCount(32767, 20.0);
  Bytes received;
  const auto start = Clock::now();
  while (received.size() < bytes.size() && SecondsSince(start) < 20.0) {
    const Bytes more = port_.Input();
    received.insert(received.end(), more.begin(), more.end());
    if (more.empty()) port_.AwaitInput(milliseconds(100));
  }
  far_end.join();
  EXPECT_TRUE(counted);
  EXPECT_EQ(received, bytes);
}

TEST_F(TermiosPortTest, PuttingZeroInBufferCountDiscardsHeldAndWaitingBytes) {
  port_.SetPortOpen(true);
  pty_.Write({1, 2, 3, 4, 5});
  ASSERT_TRUE(AwaitCount(5));  // held by the port
  pty_.Write({6, 7, 8});
  port_.AwaitInput(milliseconds(5000));  // waiting in the device
  port_.SetInBufferCount(0);
  EXPECT_EQ(port_.InBufferCount(), 0);
  port_.AwaitInput(milliseconds(100));
  EXPECT_EQ(port_.InBufferCount(), 0);

  pty_.Write({9});
  ASSERT_TRUE(AwaitCount(1));
  EXPECT_EQ(port_.Input(), Bytes{9});
}

TEST_F(TermiosPortTest, ClosingDropsHeldBytes) {
  port_.SetPortOpen(true);
  pty_.Write({1, 2, 3});
  ASSERT_TRUE(AwaitCount(3));
  port_.SetPortOpen(false);
  EXPECT_FALSE(port_.PortOpen());
  port_.SetPortOpen(true);
  EXPECT_EQ(port_.InBufferCount(), 0);
  pty_.Write({4});
  ASSERT_TRUE(AwaitCount(1));
  EXPECT_EQ(port_.Input(), Bytes{4});
}

TEST_F(TermiosPortTest, ASecondPortOnTheSameDeviceIsRefusedUntilTheFirstCloses) {
  port_.SetPortOpen(true);
  EXPECT_TRUE(pty_.SlaveExclusive());
  EXPECT_EQ(ErrorOf([&] { port_.SetPortOpen(true); }).number, err::kPortAlreadyOpen);
  EXPECT_TRUE(port_.PortOpen());

  TermiosPort second;
  second.SetCommPort(kCom);
  const Thrown thrown = ErrorOf([&] { second.SetPortOpen(true); });
  EXPECT_EQ(thrown.number, err::kPortAlreadyOpen);
  EXPECT_NE(thrown.description.find("Port already open"), std::string::npos);
  EXPECT_NE(thrown.description.find("COM7: " + pty_.slave_path() + " is in use"),
            std::string::npos);
  EXPECT_FALSE(second.PortOpen());

  // The refused opens left the first port's hold and settings alone.
  const uint8_t byte[1] = {0x5A};
  port_.Output(byte);
  EXPECT_EQ(pty_.Read(1, milliseconds(5000)), Bytes{0x5A});

  port_.SetPortOpen(false);
  EXPECT_FALSE(pty_.SlaveExclusive());
  second.SetPortOpen(true);
  EXPECT_TRUE(second.PortOpen());
  EXPECT_TRUE(pty_.SlaveExclusive());
}

TEST_F(TermiosPortTest, PortsThatCannotBeOpenedAreNamedInTheError) {
  testing::TempDir dir;
  testing::WriteFile(dir / "plain-file", "not a tty");
  struct Case {
    const char* label;
    std::string device;
    int32_t number;
    std::string detail;
  };
  const Case cases[] = {
      {"missing", (dir / "absent").string(), err::kInvalidPortNumber, " does not exist"},
      {"not a tty", (dir / "plain-file").string(), err::kInvalidPortNumber,
       " is not a serial device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(setenv("TALLYGATE_COM8", c.device.c_str(), 1), 0);
    TermiosPort port;
    port.SetCommPort(8);
    const Thrown thrown = ErrorOf([&] { port.SetPortOpen(true); });
    EXPECT_EQ(thrown.number, c.number);
    EXPECT_EQ(thrown.description, std::string(StandardDescription(c.number)) + " (COM8: " +
                                      c.device + c.detail + ")");
    EXPECT_FALSE(port.PortOpen());
  }
  unsetenv("TALLYGATE_COM8");
}

TEST_F(TermiosPortTest, ANewCommPortTakesEffectAtTheNextOpen) {
  PtyPair other;
  ASSERT_EQ(setenv("TALLYGATE_COM8", other.slave_path().c_str(), 1), 0);
  port_.SetPortOpen(true);
  port_.SetCommPort(8);
  const uint8_t first[1] = {0xA1};
  port_.Output(first);
  EXPECT_EQ(pty_.Read(1, milliseconds(5000)), Bytes{0xA1});

  port_.SetPortOpen(false);
  port_.SetPortOpen(true);
  const uint8_t second[1] = {0xB2};
  port_.Output(second);
  EXPECT_EQ(other.Read(1, milliseconds(5000)), Bytes{0xB2});
  EXPECT_TRUE(pty_.Read(1, milliseconds(100)).empty());
  unsetenv("TALLYGATE_COM8");
}

TEST_F(TermiosPortTest, AGoneDeviceIsReportedByTheNextCount) {
  port_.SetPortOpen(true);
  pty_.CloseMaster();

  EXPECT_EQ(ErrorOf([&] { port_.InBufferCount(); }).number, err::kDeviceIoError);
  EXPECT_EQ(ErrorOf([&] { port_.Input(); }).number, err::kDeviceIoError);
  const uint8_t byte[1] = {0x01};
  EXPECT_EQ(ErrorOf([&] { port_.Output(byte); }).number, err::kDeviceIoError);
  EXPECT_EQ(ErrorOf([&] { port_.SetInBufferCount(0); }).number, err::kDeviceIoError);
  EXPECT_EQ(ErrorOf([&] { port_.SetSettings("19200,n,8,2"); }).number, err::kDeviceIoError);

  port_.SetPortOpen(false);
  EXPECT_FALSE(port_.PortOpen());
}

TEST_F(TermiosPortTest, AGoneDeviceEndsAWaitAtOnce) {
  port_.SetPortOpen(true);
  pty_.Write({1, 2});
  ASSERT_TRUE(AwaitCount(2));
  std::thread far_end([&] {
    std::this_thread::sleep_for(milliseconds(100));
    pty_.CloseMaster();
  });
  const auto start = Clock::now();
  const Thrown thrown = ErrorOf([&] { AwaitCount(4, 10.0); });
  const double waited = SecondsSince(start);
  far_end.join();
  EXPECT_EQ(thrown.number, err::kDeviceIoError);
  EXPECT_LT(waited, 5.0);
}

// A wait calls AwaitInput between counts: it must sleep, not spin, whether
// the port is closed, empty, or holds bytes already counted.
TEST_F(TermiosPortTest, AwaitInputSleepsWhileNothingNewArrives) {
  for (const char* state : {"closed", "open, nothing held", "open, bytes held"}) {
    SCOPED_TRACE(state);
    if (!port_.PortOpen() && std::string(state) != "closed") port_.SetPortOpen(true);
    if (std::string(state) == "open, bytes held") {
      pty_.Write({1, 2, 3});
      ASSERT_TRUE(AwaitCount(3));
    }
    const double cpu_start = CpuSeconds();
    const auto start = Clock::now();
    port_.AwaitInput(milliseconds(300));
    EXPECT_GE(SecondsSince(start), 0.25);
    EXPECT_LT(CpuSeconds() - cpu_start, 0.05);
  }
}

TEST_F(TermiosPortTest, AwaitInputReturnsWhenAByteArrives) {
  port_.SetPortOpen(true);
  std::thread far_end([&] {
    std::this_thread::sleep_for(milliseconds(100));
    pty_.Write({0x42});
  });
  const auto start = Clock::now();
  port_.AwaitInput(milliseconds(10000));
  const double waited = SecondsSince(start);
  far_end.join();
  EXPECT_LT(waited, 5.0);
  EXPECT_EQ(port_.InBufferCount(), 1);
}

TEST_F(TermiosPortTest, OutputGivesUpWhenTheDeviceTakesNothing) {
  port_.SetPortOpen(true);
  const Bytes bytes(1 << 20, 0x55);  // far more than the line buffers hold
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { port_.Output(bytes); }).number, err::kPortWriteFailed);
  EXPECT_GE(SecondsSince(start), 1.9);
  EXPECT_TRUE(port_.PortOpen());
}

// What a closed port allows: a transfer empties the buffers before it opens
// the port, and settings are kept for the next open.
TEST_F(TermiosPortTest, ClosedPortOperations) {
  const uint8_t byte[1] = {0x01};
  struct Case {
    const char* label;
    std::function<void()> call;
    int32_t number;
  };
  const Case cases[] = {
      {"InBufferCount", [&] { port_.InBufferCount(); }, err::kPortNotOpen},
      {"Input", [&] { port_.Input(); }, err::kPortNotOpen},
      {"Output", [&] { port_.Output(byte); }, err::kPortNotOpen},
      {"InBufferCount 0", [&] { port_.SetInBufferCount(0); }, 0},
      {"OutBufferCount 0", [&] { port_.SetOutBufferCount(0); }, 0},
      {"close", [&] { port_.SetPortOpen(false); }, 0},
      {"Settings", [&] { port_.SetSettings("19200,n,8,2"); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ErrorOf(c.call).number, c.number);
    EXPECT_FALSE(port_.PortOpen());
  }
  EXPECT_EQ(port_.Settings(), "19200,n,8,2");
}

TEST(TermiosPortPropertyTest, RefusedValuesLeaveThePropertiesAsTheyWere) {
  TermiosPort port;
  port.SetCommPort(3);
  port.SetInputLen(6);
  port.SetInputMode(1);
  port.SetInBufferSize(2048);
  port.SetOutBufferSize(512);
  port.SetRThreshold(2);
  struct Case {
    const char* label;
    std::function<void()> call;
    int32_t number;
  };
  const Case cases[] = {
      {"CommPort 0", [&] { port.SetCommPort(0); }, err::kInvalidPortNumber},
      {"CommPort -2", [&] { port.SetCommPort(-2); }, err::kInvalidPortNumber},
      {"InputLen -1", [&] { port.SetInputLen(-1); }, err::kInvalidPropertyValue},
      {"InputMode 2", [&] { port.SetInputMode(2); }, err::kInvalidPropertyValue},
      {"InBufferSize 0", [&] { port.SetInBufferSize(0); }, err::kInvalidPropertyValue},
      {"InBufferSize -3", [&] { port.SetInBufferSize(-3); }, err::kInvalidPropertyValue},
      {"OutBufferSize 0", [&] { port.SetOutBufferSize(0); }, err::kInvalidPropertyValue},
      {"RThreshold -1", [&] { port.SetRThreshold(-1); }, err::kInvalidPropertyValue},
      {"InBufferCount 1", [&] { port.SetInBufferCount(1); }, err::kInvalidPropertyValue},
      {"OutBufferCount 5", [&] { port.SetOutBufferCount(5); }, err::kInvalidPropertyValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ErrorOf(c.call).number, c.number);
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.InputLen(), 6);
    EXPECT_EQ(port.InputMode(), 1);
    EXPECT_EQ(port.InBufferSize(), 2048);
    EXPECT_EQ(port.OutBufferSize(), 512);
  }
}

}  // namespace
}  // namespace tallygate
