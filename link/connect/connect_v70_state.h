// The state of one Connect_v70 object, and the boundary every public member
// runs its body through.
#ifndef TALLYGATE_LINK_CONNECT_CONNECT_V70_STATE_H_
#define TALLYGATE_LINK_CONNECT_CONNECT_V70_STATE_H_

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "link/connect/thread_link.h"
#include "link/protocol/exchange.h"
#include "link/terminal/commands.h"
#include "link/transport/serial_bus_transport.h"
#include "link/transport/tcp_transport.h"
#include "tallygate/basic_error.h"
#include "tallygate/connect_v70.h"

namespace tallygate {

struct Connect_v70::State {
  explicit State(ThreadLink& thread_link) : link(thread_link) {}

  std::string ver;
  int16_t locale_class = 0;  // 1 Simplified Chinese, 2 Traditional Chinese, 0 other
  int16_t mode = 0;          // 0 serial bus, anything else TCP
  std::string ip;
  int32_t tcp_port = 0;
  ThreadLink& link;  // of the thread that made the object
};

// The line one call talks over: the thread's serial port in mode 0 (or when
// the command works on the bus only), its TCP connection otherwise. Waits
// let the host's events run.
class CallLine {
 public:
  enum class Bus { kByMode, kSerial };
  explicit CallLine(Connect_v70::State& state, Bus bus = Bus::kByMode);
  CallLine(const CallLine&) = delete;
  CallLine& operator=(const CallLine&) = delete;

  FrameExchange& exchange() { return *exchange_; }
  bool serial() const { return serial_.has_value(); }
  // The port's or socket's own errors reach the caller as BasicError, for
  // the commands whose failure result tells them apart from a missing reply.
  void ThrowLineErrors() {
    if (serial_) serial_->ThrowLineErrors();
    if (tcp_) tcp_->ThrowLineErrors();
  }

 private:
  std::optional<SerialBusTransport> serial_;
  std::optional<TcpTransport> tcp_;
  std::optional<FrameExchange> exchange_;
};

// Runs one public member's body. A call made while another call of this
// thread is in progress returns `initial` at once without running the body.
// A BasicError (or any other failure) inside the body ends it: `on_error`
// sees the failure and may change the result, and the result as it then
// stands is returned. Nothing is thrown to the caller.
template <typename R, typename Body, typename OnError>
R RunCall(Connect_v70::State& state, R initial, Body&& body, OnError&& on_error) {
  ThreadLink::CallScope scope(state.link);
  R result = std::move(initial);
  if (!scope.entered()) return result;
  try {
    body(result);
  } catch (const BasicError& error) {
    on_error(result, error);
  } catch (const std::bad_alloc&) {
    on_error(result, BasicError(err::kOutOfMemory));
  } catch (const std::exception& error) {
    on_error(result, BasicError(err::kInvalidProcedureCall, error.what()));
  }
  return result;
}

template <typename R, typename Body>
R RunCall(Connect_v70::State& state, R initial, Body&& body) {
  return RunCall(state, std::move(initial), std::forward<Body>(body),
                 [](R&, const BasicError&) {});
}

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_CONNECT_V70_STATE_H_
