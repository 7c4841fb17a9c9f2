#include "link/transport/posix_tcp_socket.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <thread>

#include "tallygate/basic_error.h"
#include "tests/support/loopback_server.h"

namespace tallygate {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::LoopbackPeer;
using testing::LoopbackServer;
using testing::RefusingPort;

constexpr char kLoopback[] = "127.0.0.1";

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Tests `done` until it holds, for at most 5 s, letting the socket wait
// between tries.
bool Eventually(PosixTcpSocket& socket, const std::function<bool()>& done) {
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline) {
    if (done()) return true;
    socket.AwaitActivity(20ms);
  }
  return done();
}

std::chrono::nanoseconds CpuTime() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The number of a BasicError thrown by `action`, or 0 when nothing was thrown.
int32_t ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const BasicError& error) {
    return error.number();
  }
  return 0;
}

class PosixTcpSocketTest : public ::testing::Test {
 protected:
  // Connects to the server and accepts the connection.
  void Connect(const std::string& host = kLoopback) {
    socket_.Connect(host, server_.port());
    Establish();
  }

  // Waits for a started connection to complete and accepts it.
  void Establish() {
    ASSERT_TRUE(Eventually(socket_, [&] { return socket_.State() == socket_state::kConnected; }));
    peer_ = server_.Accept();
    ASSERT_NE(peer_, nullptr);
  }

  // The peer sends `bytes`; waits until the socket holds `expected` bytes.
  void ReceiveFromPeer(const Bytes& bytes, int32_t expected) {
    ASSERT_TRUE(peer_->Send(bytes));
    ASSERT_TRUE(Eventually(socket_, [&] { return socket_.BytesReceived() == expected; }));
  }

  LoopbackServer server_;
  PosixTcpSocket socket_;
  std::unique_ptr<LoopbackPeer> peer_;
};

TEST_F(PosixTcpSocketTest, ConnectReturnsAtOnceAndCompletesForEveryNumericForm) {
  for (const char* host : {"127.0.0.1", "127.1", "0x7f.0.0.1", "2130706433"}) {
    SCOPED_TRACE(host);
    const auto start = Clock::now();
    socket_.Connect(host, server_.port());
    EXPECT_LT(Clock::now() - start, 2s);
    const int16_t state = socket_.State();
    EXPECT_TRUE(state == socket_state::kConnecting || state == socket_state::kConnected);
    ASSERT_NO_FATAL_FAILURE(Establish());
    socket_.Close();
  }
}

TEST_F(PosixTcpSocketTest, ConnectRejectsHostsThatAreNotNumericAddresses) {
  for (const char* host :
       {"", "abc", "localhost", "1.2.3.4.5", "256.0.0.1", "127.0.0.1 ", " 127.0.0.1",
        "127.0.0.1 junk", "127.0.0.1:80"}) {
    SCOPED_TRACE(host);
    EXPECT_EQ(ErrorNumber([&] { socket_.Connect(host, server_.port()); }),
              err::kInvalidProcedureCall);
    EXPECT_EQ(socket_.State(), socket_state::kClosed);
  }
  EXPECT_EQ(server_.Accept(200ms), nullptr);
}

TEST_F(PosixTcpSocketTest, ConnectRejectsPortsOutsideTheTcpRange) {
  for (int32_t port : {0, -1, 65536, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(ErrorNumber([&] { socket_.Connect(kLoopback, port); }), err::kInvalidProcedureCall);
    EXPECT_EQ(socket_.State(), socket_state::kClosed);
  }
}

TEST_F(PosixTcpSocketTest, RefusedConnectionEndsInErrorAndNeverConnects) {
  RefusingPort refusing;
  socket_.Connect(kLoopback, refusing.port());
  bool seen_connected = false;
  EXPECT_TRUE(Eventually(socket_, [&] {
    const int16_t state = socket_.State();
    seen_connected |= state == socket_state::kConnected;
    return state == socket_state::kError;
  }));
  EXPECT_FALSE(seen_connected);
  EXPECT_TRUE(socket_.ReceiveEnded());
  EXPECT_EQ(ErrorNumber([&] { socket_.SendData(Text("x")); }), err::kSocketWrongState);
}

TEST_F(PosixTcpSocketTest, ConnectNeedsAClosedSocket) {
  RefusingPort refusing;
  socket_.Connect(kLoopback, refusing.port());
  ASSERT_TRUE(Eventually(socket_, [&] { return socket_.State() == socket_state::kError; }));
  EXPECT_EQ(ErrorNumber([&] { socket_.Connect(kLoopback, server_.port()); }),
            err::kSocketWrongState);
  socket_.Close();
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(ErrorNumber([&] { socket_.Connect(kLoopback, server_.port()); }),
            err::kSocketWrongState);
}

TEST_F(PosixTcpSocketTest, SendingBeforeConnectingIsAWrongStateError) {
  EXPECT_EQ(ErrorNumber([&] { socket_.SendData(Text("x")); }), err::kSocketWrongState);
}

TEST_F(PosixTcpSocketTest, EachSendArrivesWholeAndInOrder) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  // The address byte must leave on its own, before the frame is written.
  socket_.SendData(Bytes{0x01});
  EXPECT_EQ(peer_->Read(1), Bytes{0x01});
  socket_.SendData(Bytes{0x03, 0x02, 0x00});
  EXPECT_EQ(peer_->Read(3), (Bytes{0x03, 0x02, 0x00}));
}

TEST_F(PosixTcpSocketTest, LargeSendWaitsForAReaderThatFallsBehind) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Bytes large(8 << 20);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7 % 251);
  Bytes arrived;
  std::thread reader([&] {
    std::this_thread::sleep_for(200ms);
    arrived = peer_->Read(large.size(), 30s);
  });
  EXPECT_NO_THROW(socket_.SendData(large));
  reader.join();
  EXPECT_TRUE(arrived == large);
}

TEST_F(PosixTcpSocketTest, SendFailsWhenThePeerTakesNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  // Far more than the kernel buffers of both ends hold.
  const Bytes flood(64 << 20, 0x55);
  EXPECT_EQ(ErrorNumber([&] { socket_.SendData(flood); }), err::kSocketError);
  EXPECT_EQ(socket_.State(), socket_state::kError);
}

TEST_F(PosixTcpSocketTest, GetDataTakesAtMostTheMaximumAndLeavesTheRest) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ReceiveFromPeer(Text("abcdefgh"), 8);
  EXPECT_EQ(socket_.GetData(3), Text("abc"));
  EXPECT_EQ(socket_.BytesReceived(), 5);
  EXPECT_EQ(socket_.GetData(0), Bytes{});
  EXPECT_EQ(socket_.GetData(-1), Bytes{});
  EXPECT_EQ(socket_.GetData(100), Text("defgh"));
  EXPECT_EQ(socket_.BytesReceived(), 0);
  ReceiveFromPeer(Text("ij"), 2);
  EXPECT_EQ(socket_.GetData(2), Text("ij"));
}

TEST_F(PosixTcpSocketTest, BytesSentBeforeTheEndStayReadableThenTheStateMoves) {
  struct Case {
    const char* name;
    bool reset;
    int16_t final_state;
  };
  for (const Case& c : {Case{"orderly close", false, socket_state::kPeerClosing},
                        Case{"reset", true, socket_state::kError}}) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(Connect());
    // Held here first: a reset may drop bytes still in the kernel.
    ASSERT_NO_FATAL_FAILURE(ReceiveFromPeer(Text("xyz"), 3));
    c.reset ? peer_->Reset() : peer_->Close();
    ASSERT_TRUE(Eventually(socket_, [&] { return socket_.ReceiveEnded(); }));
    EXPECT_EQ(socket_.BytesReceived(), 3);
    EXPECT_EQ(socket_.State(), socket_state::kConnected);
    EXPECT_EQ(socket_.GetData(2), Text("xy"));
    EXPECT_EQ(socket_.State(), socket_state::kConnected);
    EXPECT_EQ(socket_.GetData(5), Text("z"));
    EXPECT_EQ(socket_.State(), c.final_state);
    EXPECT_TRUE(socket_.ReceiveEnded());
    EXPECT_EQ(ErrorNumber([&] { socket_.SendData(Text("x")); }), err::kSocketWrongState);
    socket_.Close();
  }
}

TEST_F(PosixTcpSocketTest, SendingIntoAConnectionThePeerDroppedFailsWithoutSigpipe) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ReceiveFromPeer(Text("abc"), 3);
  peer_->Close();
  ASSERT_TRUE(Eventually(socket_, [&] { return socket_.ReceiveEnded(); }));
  // Unread bytes keep the state at 7, so the sends reach the kernel; the
  // peer answers the first with a reset, and a later one fails on it.
  int32_t number = 0;
  const auto deadline = Clock::now() + 5s;
  while (number == 0 && Clock::now() < deadline) {
    number = ErrorNumber([&] { socket_.SendData(Text("ping")); });
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(number, err::kSocketError);
  EXPECT_EQ(socket_.State(), socket_state::kError);
  EXPECT_EQ(socket_.GetData(3), Text("abc"));
}

TEST_F(PosixTcpSocketTest, DiscardDropsWhatWaitsNowAndNothingLater) {
  struct Case {
    size_t held;     // pulled into the socket before the discard
    size_t pending;  // still in the kernel at the discard
  };
  for (const Case& c : {Case{3, 4}, Case{0, 5000}, Case{5000, 0}, Case{0, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.held << " held, " << c.pending << " pending");
    ASSERT_NO_FATAL_FAILURE(Connect());
    ReceiveFromPeer(Bytes(c.held, 'h'), static_cast<int32_t>(c.held));
    ASSERT_TRUE(peer_->Send(Bytes(c.pending, 'p')));
    ASSERT_TRUE(peer_->AwaitDelivered());
    socket_.DiscardReceived();
    EXPECT_EQ(socket_.BytesReceived(), 0);
    ReceiveFromPeer(Text("next"), 4);
    EXPECT_EQ(socket_.GetData(4), Text("next"));
    EXPECT_EQ(socket_.State(), socket_state::kConnected);
    socket_.Close();
  }
}

TEST_F(PosixTcpSocketTest, DiscardReturnsWhileThePeerKeepsSending) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    const Bytes chunk(4096, 0xAA);
    const auto deadline = Clock::now() + 20s;
    while (!stop && Clock::now() < deadline && peer_->Send(chunk, 1s)) {
    }
  });
  ASSERT_TRUE(Eventually(socket_, [&] { return socket_.BytesReceived() > 0; }));
  const auto start = Clock::now();
  for (int i = 0; i < 3; ++i) socket_.DiscardReceived();
  EXPECT_LT(Clock::now() - start, 5s);
  stop = true;
  socket_.Close();
  sender.join();
}

TEST_F(PosixTcpSocketTest, AFloodingPeerCannotGrowTheBuffer) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::thread flooder([&] {
    const Bytes chunk(1 << 20, 0x5A);
    const auto deadline = Clock::now() + 20s;
    for (int sent = 0; sent < 100 && Clock::now() < deadline; ++sent) {
      if (!peer_->Send(chunk, 2s)) break;
    }
  });
  int32_t most = 0;
  for (int i = 0; i < 200; ++i) {
    most = std::max(most, socket_.BytesReceived());
    socket_.AwaitActivity(5ms);
  }
  EXPECT_GT(most, 0);
  EXPECT_LE(most, 1 << 20);
  socket_.Close();  // the flooder's sends now fail
  flooder.join();
}

TEST_F(PosixTcpSocketTest, AwaitActivitySleepsInsteadOfSpinning) {
  RefusingPort refusing;
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"closed", [] {}},
      {"connected, nothing arriving", [&] { Connect(); }},
      {"connected, fewer bytes than awaited", [&] { Connect(); ReceiveFromPeer(Text("ab"), 2); }},
      {"bytes already reported by an earlier wait",
       [&] {
         Connect();
         ASSERT_TRUE(peer_->Send(Text("ab")));
         ASSERT_TRUE(peer_->AwaitDelivered());
         socket_.AwaitActivity(5s);
       }},
      {"buffer full, more waiting in the kernel",
       [&] {
         Connect();
         const size_t capacity = PosixTcpSocket::kReceiveCapacity;
         ASSERT_TRUE(peer_->Send(Bytes(capacity + 4096, 'f')));
         ASSERT_TRUE(peer_->AwaitDelivered());
         ASSERT_EQ(socket_.BytesReceived(), static_cast<int32_t>(capacity));
       }},
      {"peer closed",
       [&] {
         Connect();
         peer_->Close();
         ASSERT_TRUE(Eventually(socket_, [&] { return socket_.ReceiveEnded(); }));
       }},
      {"refused",
       [&] {
         socket_.Connect(kLoopback, refusing.port());
         ASSERT_TRUE(Eventually(socket_, [&] { return socket_.State() == socket_state::kError; }));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    if (HasFatalFailure()) return;
    const auto cpu_start = CpuTime();
    const auto start = Clock::now();
    socket_.AwaitActivity(300ms);
    EXPECT_GE(Clock::now() - start, 250ms);
    EXPECT_LT(CpuTime() - cpu_start, 50ms);
    socket_.Close();
  }
}

TEST_F(PosixTcpSocketTest, AwaitActivityWakesWhenAByteArrives) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  std::thread sender([&] {
    std::this_thread::sleep_for(100ms);
    peer_->Send(Bytes{0x42});
  });
  const auto start = Clock::now();
  socket_.AwaitActivity(30s);
  EXPECT_LT(Clock::now() - start, 10s);
  sender.join();
  EXPECT_TRUE(Eventually(socket_, [&] { return socket_.BytesReceived() == 1; }));
}

TEST_F(PosixTcpSocketTest, AwaitActivityWakesWhenTheConnectionCompletes) {
  socket_.Connect(kLoopback, server_.port());
  const auto start = Clock::now();
  socket_.AwaitActivity(30s);
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_EQ(socket_.State(), socket_state::kConnected);
}

TEST_F(PosixTcpSocketTest, CloseDropsEverythingAtOnceAndMayBeRepeated) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ReceiveFromPeer(Text("abc"), 3);
  socket_.Close();
  EXPECT_EQ(socket_.State(), socket_state::kClosed);
  EXPECT_EQ(socket_.BytesReceived(), 0);
  EXPECT_EQ(socket_.GetData(3), Bytes{});
  EXPECT_TRUE(socket_.ReceiveEnded());
  EXPECT_EQ(peer_->Read(1), Bytes{});  // the peer sees the end of the stream
  socket_.Close();
  EXPECT_EQ(socket_.State(), socket_state::kClosed);
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(socket_.BytesReceived(), 0);
}

}  // namespace
}  // namespace tallygate
