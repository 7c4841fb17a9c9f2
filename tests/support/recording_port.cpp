#include "tests/support/recording_port.h"

#include <algorithm>
#include <memory>
#include <thread>

#include "link/transport/line_settings.h"
#include "link/connect/thread_link.h"
#include "tallygate/basic_error.h"

namespace tallygate::testing {

void ReceiveQueue::Add(const Bytes& bytes, std::chrono::milliseconds delay) {
  const auto due = std::chrono::steady_clock::now() + delay;
  for (uint8_t b : bytes) pending_.push_back({due, b});
}

size_t ReceiveQueue::Ready() const {
  const auto now = std::chrono::steady_clock::now();
  size_t n = 0;
  while (n < pending_.size() && pending_[n].due <= now) ++n;
  return n;
}

Bytes ReceiveQueue::Take(size_t max) {
  const size_t n = std::min(max, Ready());
  Bytes out;
  for (size_t i = 0; i < n; ++i) {
    out.push_back(pending_.front().byte);
    pending_.pop_front();
  }
  return out;
}

void ReceiveQueue::Await(std::chrono::milliseconds limit) const {
  auto until = std::chrono::steady_clock::now() + limit;
  const size_t ready = Ready();
  if (ready < pending_.size()) until = std::min(until, pending_[ready].due);
  std::this_thread::sleep_until(until);
}

void RecordingPort::SetSettings(const std::string& settings) {
  if (!ParseLineSettings(settings)) throw BasicError(err::kInvalidPropertyValue);
  settings_ = settings;
  log.push_back("settings " + settings);
}

void RecordingPort::SetPortOpen(bool open) {
  if (open) {
    if (open_) throw BasicError(err::kPortAlreadyOpen);
    if (open_error != 0) throw BasicError(open_error);
    open_ = true;
    ++opens;
    log.push_back("open");
  } else if (open_) {
    open_ = false;
    log.push_back("close");
  }
}

int16_t RecordingPort::InBufferCount() {
  if (!open_) throw BasicError(err::kPortNotOpen);
  return static_cast<int16_t>(std::min<size_t>(queue_.Ready(), 32767));
}

void RecordingPort::SetInBufferCount(int16_t) {
  queue_.Clear();
  log.push_back("discard-in");
}

void RecordingPort::SetOutBufferCount(int16_t) {
  log.push_back("discard-out");
}

Bytes RecordingPort::Input() {
  if (!open_) throw BasicError(err::kPortNotOpen);
  return queue_.Take(input_len_ == 0 ? SIZE_MAX : static_cast<size_t>(input_len_));
}

void RecordingPort::Output(std::span<const uint8_t> bytes) {
  if (!open_) throw BasicError(err::kPortNotOpen);
  writes.push_back({settings_, Bytes(bytes.begin(), bytes.end())});
  if (responder) responder(*this, writes.back());
}

int16_t RecordingSocket::State() { return state; }

void RecordingSocket::Connect(const std::string& host, int32_t port) {
  if (state != 0) throw BasicError(err::kSocketWrongState);
  log.push_back("connect " + host + ":" + std::to_string(port));
  state = connect_result;
  receive_ended = false;
}

void RecordingSocket::Close() {
  log.push_back("close");
  state = 0;
  queue_.Clear();
}

void RecordingSocket::SendData(std::span<const uint8_t> bytes) {
  if (state != 7) throw BasicError(err::kSocketWrongState);
  sends.emplace_back(bytes.begin(), bytes.end());
  if (responder) responder(*this, sends.back());
}

void RecordingSocket::DiscardReceived() {
  log.push_back("discard");
  queue_.Take(queue_.Ready());
}

RecordingLink::RecordingLink() {
  auto port = std::make_unique<RecordingPort>();
  auto socket = std::make_unique<RecordingSocket>();
  port_ = port.get();
  socket_ = socket.get();
  ThreadLink::Current().ReplacePort(std::move(port));
  ThreadLink::Current().ReplaceSocket(std::move(socket));
}

RecordingLink::~RecordingLink() {
  // The thread's link keeps a recording pair; a fresh one replaces it, so no
  // test reaches a real device through a link a previous test changed.
  ThreadLink::Current().ReplacePort(std::make_unique<RecordingPort>());
  ThreadLink::Current().ReplaceSocket(std::make_unique<RecordingSocket>());
}

}  // namespace tallygate::testing

namespace tallygate::testing {
namespace {

// Tells address bytes from frames: they alternate, address first.
template <typename Transport>
auto FrameResponder(FrameAnswer answer, std::chrono::milliseconds delay) {
  auto address = std::make_shared<int>(-1);
  return [answer = std::move(answer), delay, address](Transport& transport, const Bytes& bytes) {
    if (*address < 0) {
      *address = bytes.empty() ? 0 : bytes[0];
      return;
    }
    Bytes reply = answer(static_cast<uint8_t>(*address), bytes);
    *address = -1;
    if (!reply.empty()) transport.Receive(reply, delay);
  };
}

}  // namespace

void AnswerFrames(RecordingPort& port, FrameAnswer answer, std::chrono::milliseconds delay) {
  auto respond = FrameResponder<RecordingPort>(std::move(answer), delay);
  port.responder = [respond](RecordingPort& p, const Write& write) { respond(p, write.bytes); };
}

void AnswerFrames(RecordingSocket& socket, FrameAnswer answer, std::chrono::milliseconds delay) {
  socket.responder = FrameResponder<RecordingSocket>(std::move(answer), delay);
}

}  // namespace tallygate::testing
