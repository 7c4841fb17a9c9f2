#include "link/protocol/exchange.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tallygate/basic_error.h"
#include "link/transport/serial_bus_transport.h"
#include "link/transport/tcp_transport.h"
#include "tests/support/recording_port.h"

namespace tallygate {
namespace {

using std::chrono::milliseconds;
using testing::AnswerFrames;
using testing::RecordingLink;
using testing::Write;
using testing::kAddressSettings;
using testing::kDataSettings;


Bytes ClearFlagReply(uint8_t address, uint8_t any = 0x00) {
  return {address, any, 0x02, static_cast<uint8_t>(address ^ any ^ 0x02)};
}

class ExchangeTest : public ::testing::Test {
 protected:
  FrameExchange Serial() { return FrameExchange(serial_); }
  FrameExchange Tcp() { return FrameExchange(tcp_); }

  RecordingLink link_;
  SerialBusTransport serial_{link_.port(), kAddressSettings, kDataSettings, "COM1"};
  TcpTransport tcp_{link_.socket(), "127.0.0.1:1001"};
};

TEST_F(ExchangeTest, SerialWritesAddressThenFrameUnderTheirLineSettings) {
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes&) { return ClearFlagReply(address); });
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  ASSERT_TRUE(Serial().ExchangeFrame(1, frame, 3, 1.5f, 4, reply, true));
  EXPECT_EQ(link_.port().writes,
            (std::vector<Write>{{kAddressSettings, {0x01}}, {kDataSettings, {0x03, 0x02, 0x00}}}));
  EXPECT_EQ(reply, ClearFlagReply(1));
  EXPECT_EQ(frame, (Bytes{0x03, 0x02, 0x00})) << "the check byte is written into the frame";
  // Received and unsent bytes are discarded first; a closed port is opened
  // under the address settings.
  EXPECT_EQ(link_.port().log,
            (std::vector<std::string>{"discard-in", "discard-out",
                                      std::string("settings ") + kAddressSettings, "open",
                                      std::string("settings ") + kDataSettings}));
}

TEST_F(ExchangeTest, ClosedPortIsOpenedAndLeftOpen) {
  link_.port().SetPortOpen(true);
  link_.port().SetPortOpen(false);
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  (void)Serial().ExchangeFrame(5, frame, 3, 0.0f, 4, reply, true);
  EXPECT_TRUE(link_.port().PortOpen());
  EXPECT_EQ(link_.port().writes.at(0), (Write{kAddressSettings, {0x05}}));
  EXPECT_EQ(link_.port().writes.at(1), (Write{kDataSettings, {0x03, 0x02, 0x04}}));
}

TEST_F(ExchangeTest, ReplyValidation) {
  struct Case {
    const char* name;
    Bytes reply;
    bool check_address;
    bool accepted;
    ErrorCode why;  // when refused
  };
  const Case cases[] = {
      {"valid", {0x01, 0x00, 0x02, 0x03}, true, true, {}},
      {"any byte 1", {0x01, 0x7F, 0x02, 0x7C}, true, true, {}},
      {"wrong check byte", {0x01, 0x00, 0x02, 0x04}, true, false, ErrorCode::kBadCheck},
      {"other terminal", {0x02, 0x00, 0x02, 0x00}, true, false, ErrorCode::kOtherAddress},
      {"other terminal, test off", {0x09, 0x00, 0x02, 0x0B}, false, true, {}},
      {"too short", {0x01, 0x00, 0x02}, true, false, ErrorCode::kNoReply},
  };
  for (const Case& c : cases) {
    RecordingLink link;
    link.port().SetPortOpen(true);
    AnswerFrames(link.port(), [&](uint8_t, const Bytes&) { return c.reply; });
    SerialBusTransport transport(link.port(), kAddressSettings, kDataSettings, "COM1");
    Bytes frame = MakeFrame(0x02);
    Bytes reply;
    const Status status =
        FrameExchange(transport).ExchangeFrame(1, frame, 3, 0.2f, 4, reply, c.check_address);
    EXPECT_EQ(status.ok(), c.accepted) << c.name;
    if (!status) {
      EXPECT_EQ(status.error().code(), c.why) << c.name << ": " << status.error().message();
    }
  }
}

TEST_F(ExchangeTest, ZeroWaitFailsEvenWithTheReplyWaiting) {
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes&) { return ClearFlagReply(address); });
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  EXPECT_FALSE(Serial().ExchangeFrame(1, frame, 3, 0.0f, 4, reply, true));
  EXPECT_EQ(link_.port().writes.size(), 2u) << "the frame is still sent";
}

TEST_F(ExchangeTest, SerialDiscardsBytesLeftByAnEarlierExchange) {
  link_.port().SetPortOpen(true);
  link_.port().Receive({0x01, 0x00, 0x06});  // the tail of a late reply
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes&) { return ClearFlagReply(address); });
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  ASSERT_TRUE(Serial().ExchangeFrame(1, frame, 3, 1.0f, 4, reply, true));
  EXPECT_EQ(reply, ClearFlagReply(1));
}

TEST_F(ExchangeTest, BytesBeyondTheReplyStayForTheNextRead) {
  link_.port().SetPortOpen(true);
  AnswerFrames(link_.port(), [](uint8_t address, const Bytes&) {
    Bytes two = ClearFlagReply(address, 0x10);
    Bytes second = ClearFlagReply(address, 0x20);
    two.insert(two.end(), second.begin(), second.end());
    return two;
  });
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  ASSERT_TRUE(Serial().ExchangeFrame(1, frame, 3, 1.0f, 4, reply, true));
  EXPECT_EQ(reply, ClearFlagReply(1, 0x10));
  ASSERT_TRUE(Serial().ReceiveFrame(1, 1.0f, 4, reply));
  EXPECT_EQ(reply, ClearFlagReply(1, 0x20));
}

TEST_F(ExchangeTest, SerialReceiveDrainsPartialBytesOnTimeout) {
  link_.port().SetPortOpen(true);
  link_.port().Receive({0x01, 0x00});
  Bytes reply;
  EXPECT_FALSE(Serial().ReceiveFrame(1, 0.05f, 16, reply));
  EXPECT_EQ(link_.port().InBufferCount(), 0);
}

TEST_F(ExchangeTest, PortThatCannotOpenIsAFalseResult) {
  link_.port().open_error = err::kPortAlreadyOpen;
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  EXPECT_FALSE(Serial().ExchangeFrame(1, frame, 3, 1.0f, 4, reply, true));
  EXPECT_FALSE(Serial().SendFrame(1, frame, 3));
  EXPECT_TRUE(link_.port().writes.empty());
}

TEST_F(ExchangeTest, TcpSendsTheSameBytesAsTwoWrites) {
  link_.socket().state = 7;
  AnswerFrames(link_.socket(), [](uint8_t address, const Bytes&) { return ClearFlagReply(address, 0x55); });
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  ASSERT_TRUE(Tcp().ExchangeFrame(1, frame, 3, 1.5f, 4, reply, true));
  EXPECT_EQ(link_.socket().sends, (std::vector<Bytes>{{0x01}, {0x03, 0x02, 0x00}}));
  EXPECT_EQ(reply, ClearFlagReply(1, 0x55));
  EXPECT_TRUE(link_.port().writes.empty()) << "TCP mode never touches the serial port";
}

TEST_F(ExchangeTest, TcpWithoutConnectionSendsNothing) {
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  for (int16_t state : {int16_t{0}, int16_t{6}, int16_t{8}, int16_t{9}}) {
    link_.socket().state = state;
    EXPECT_FALSE(Tcp().ExchangeFrame(1, frame, 3, 1.0f, 4, reply, true)) << state;
    EXPECT_FALSE(Tcp().SendFrame(1, frame, 3)) << state;
    EXPECT_FALSE(Tcp().ReceiveFrame(1, 1.0f, 4, reply)) << state;
  }
  EXPECT_TRUE(link_.socket().sends.empty());
}

// A late reply to an earlier command must not pass for the next command's
// reply: bytes waiting before the send are discarded.
TEST_F(ExchangeTest, TcpDiscardsALateReplyBeforeSending) {
  link_.socket().state = 7;
  link_.socket().Receive(ClearFlagReply(1));  // late answer to an earlier ClearFlag
  AnswerFrames(link_.socket(), [](uint8_t address, const Bytes&) {
    return Bytes{address, 0x00, 0x66, 0x02, static_cast<uint8_t>(address ^ 0x66 ^ 0x02)};
  });
  Bytes frame = MakeFrame(0x66);
  Bytes reply;
  ASSERT_TRUE(Tcp().ExchangeFrame(1, frame, 3, 1.5f, 5, reply, true));
  EXPECT_EQ(reply[2], 0x66);
}

TEST_F(ExchangeTest, TcpReceiveReadsUnitsInOrderWithoutDiscarding) {
  link_.socket().state = 7;
  link_.socket().Receive({0x01, 0x00, 0x02, 0x03, 0x01, 0x01, 0x02, 0x02});
  Bytes reply;
  ASSERT_TRUE(Tcp().ReceiveFrame(1, 1.0f, 4, reply));
  EXPECT_EQ(reply, ClearFlagReply(1, 0x00));
  ASSERT_TRUE(Tcp().ReceiveFrame(1, 1.0f, 4, reply));
  EXPECT_EQ(reply, ClearFlagReply(1, 0x01));
}

TEST_F(ExchangeTest, TcpWaitEndsWhenTheTerminalHasClosed) {
  link_.socket().state = 7;
  link_.socket().Receive({0x01, 0x00});
  link_.socket().receive_ended = true;
  Bytes reply;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Tcp().ReceiveFrame(1, 10.0f, 4, reply));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(ExchangeTest, ReplyWaitsForLateBytesWithinTheTimeout) {
  link_.port().SetPortOpen(true);
  AnswerFrames(
      link_.port(), [](uint8_t address, const Bytes&) { return ClearFlagReply(address); },
      milliseconds(100));
  Bytes frame = MakeFrame(0x02);
  Bytes reply;
  EXPECT_TRUE(Serial().ExchangeFrame(1, frame, 3, 2.0f, 4, reply, true));
  EXPECT_FALSE(Serial().ExchangeFrame(1, frame, 3, 0.02f, 4, reply, true));
}

}  // namespace
}  // namespace tallygate
