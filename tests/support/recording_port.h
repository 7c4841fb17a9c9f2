// A serial port and a TCP socket that keep every operation in memory, for
// asserting the exact bytes and line settings a command puts on the wire.
// Replies are queued by the test, or by a responder called on each write.
#ifndef TALLYGATE_TESTS_SUPPORT_RECORDING_PORT_H_
#define TALLYGATE_TESTS_SUPPORT_RECORDING_PORT_H_

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/transport/serial_port.h"
#include "link/transport/tcp_socket.h"

namespace tallygate::testing {

// The line settings a command uses on the bus: the address byte (its ninth
// bit set as a second stop bit), the frame after it (ninth bit clear as space
// parity) and the plain line of the picture transfer.
inline const std::string kAddressSettings = "19200,n,8,2";
inline const std::string kDataSettings = "19200,s,8,1";
inline const std::string kPlainSettings = "19200,n,8,1";

// One write, with the line settings in force when it was made.
struct Write {
  std::string settings;
  Bytes bytes;
  friend bool operator==(const Write&, const Write&) = default;
};

// Bytes that become readable at a given time.
class ReceiveQueue {
 public:
  void Add(const Bytes& bytes, std::chrono::milliseconds delay);
  // Bytes whose time has come.
  size_t Ready() const;
  Bytes Take(size_t max);  // from the ready ones
  void Clear() { pending_.clear(); }
  // Sleeps until the next byte is due, or `limit`.
  void Await(std::chrono::milliseconds limit) const;

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    uint8_t byte;
  };
  std::deque<Pending> pending_;
};

class RecordingPort final : public SerialPort {
 public:
  // Called after each Output with the port and the write.
  std::function<void(RecordingPort&, const Write&)> responder;
  // Makes the next open fail with this error number (0: opens).
  int32_t open_error = 0;

  std::vector<Write> writes;
  std::vector<std::string> log;  // "open", "close", "discard-in", "discard-out", "settings ..."
  int opens = 0;

  void Receive(const Bytes& bytes, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    queue_.Add(bytes, delay);
  }

  void SetCommPort(int16_t port) override { comm_port_ = port; }
  int16_t CommPort() const override { return comm_port_; }
  void SetSettings(const std::string& settings) override;
  std::string Settings() const override { return settings_; }
  void SetPortOpen(bool open) override;
  bool PortOpen() const override { return open_; }
  int16_t InBufferCount() override;
  void SetInBufferCount(int16_t count) override;
  void SetOutBufferCount(int16_t count) override;
  void SetInputLen(int16_t length) override { input_len_ = length; }
  int16_t InputLen() const override { return input_len_; }
  Bytes Input() override;
  void Output(std::span<const uint8_t> bytes) override;
  void SetInputMode(int16_t mode) override { input_mode_ = mode; }
  int16_t InputMode() const override { return input_mode_; }
  void SetInBufferSize(int16_t size) override { in_buffer_size_ = size; }
  int16_t InBufferSize() const override { return in_buffer_size_; }
  void SetOutBufferSize(int16_t size) override { out_buffer_size_ = size; }
  int16_t OutBufferSize() const override { return out_buffer_size_; }
  void SetRThreshold(int16_t threshold) override { r_threshold_ = threshold; }
  int16_t RThreshold() const { return r_threshold_; }
  void Drain() override { log.push_back("drain"); }
  void AwaitInput(std::chrono::milliseconds limit) override { queue_.Await(limit); }

 private:
  int16_t comm_port_ = 1;
  std::string settings_ = "9600,n,8,1";
  bool open_ = false;
  int16_t input_len_ = 0;
  int16_t input_mode_ = 0;
  int16_t in_buffer_size_ = 1024;
  int16_t out_buffer_size_ = 512;
  int16_t r_threshold_ = 0;
  ReceiveQueue queue_;
};

class RecordingSocket final : public TcpSocket {
 public:
  std::function<void(RecordingSocket&, const Bytes&)> responder;
  // State the next Connect leads to (7 connected, 9 refused, 6 never done).
  int16_t connect_result = 7;

  std::vector<Bytes> sends;
  std::vector<std::string> log;  // "connect HOST:PORT", "close", "discard"
  int16_t state = 0;
  bool receive_ended = false;

  void Receive(const Bytes& bytes, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
    queue_.Add(bytes, delay);
  }

  int16_t State() override;
  void Connect(const std::string& host, int32_t port) override;
  void Close() override;
  void SendData(std::span<const uint8_t> bytes) override;
  int32_t BytesReceived() override { return static_cast<int32_t>(queue_.Ready()); }
  Bytes GetData(int32_t max_length) override { return queue_.Take(static_cast<size_t>(max_length)); }
  bool ReceiveEnded() override { return receive_ended; }
  void DiscardReceived() override;
  void AwaitActivity(std::chrono::milliseconds limit) override { queue_.Await(limit); }

 private:
  ReceiveQueue queue_;
};

// Installs a recording port and socket as the calling thread's, and puts the
// previous ones back when it goes.
class RecordingLink {
 public:
  RecordingLink();
  ~RecordingLink();
  RecordingLink(const RecordingLink&) = delete;
  RecordingLink& operator=(const RecordingLink&) = delete;

  RecordingPort& port() { return *port_; }
  RecordingSocket& socket() { return *socket_; }

 private:
  RecordingPort* port_;
  RecordingSocket* socket_;
};

// What a terminal answers to one frame; empty for no answer.
using FrameAnswer = std::function<Bytes(uint8_t address, const Bytes& frame)>;

// Makes the port or socket answer every frame (the write that follows an
// address byte) with `answer`, `delay` after the frame was written.
void AnswerFrames(RecordingPort& port, FrameAnswer answer,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0));
void AnswerFrames(RecordingSocket& socket, FrameAnswer answer,
                  std::chrono::milliseconds delay = std::chrono::milliseconds(0));

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_RECORDING_PORT_H_
