#include "link/transport/serial_bus_transport.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "link/transport/line_error.h"
#include "link/transport/line_settings.h"

namespace tallygate {
namespace {

// The time `characters` take on a line with these settings.
std::chrono::microseconds WireTime(const std::string& settings, size_t characters) {
  const std::optional<LineSettings> line = ParseLineSettings(settings);
  const int rate = line ? line->rate : 19200;
  const int bits = line ? line->BitsPerCharacter() : 11;
  return std::chrono::microseconds(static_cast<int64_t>(characters) * bits * 1'000'000 / rate);
}

}  // namespace

SerialBusTransport::SerialBusTransport(SerialPort& port, std::string address_settings,
                                       std::string data_settings, std::string name)
    : port_(port),
      address_settings_(std::move(address_settings)),
      data_settings_(std::move(data_settings)),
      name_(std::move(name)) {}

Status SerialBusTransport::Send(uint8_t address, std::span<const uint8_t> frame,
                                bool discard_unsent) {
  try {
    port_.SetInBufferCount(0);
    if (discard_unsent) port_.SetOutBufferCount(0);
    port_.SetSettings(address_settings_);
    if (!port_.PortOpen()) port_.SetPortOpen(true);
    const uint8_t address_bytes[1] = {address};
    port_.Output(address_bytes);
    TraceSent(address_bytes);
    Pause(1);
    port_.SetSettings(data_settings_);
    port_.Output(frame);
    TraceSent(frame);
    return {};
  } catch (const BasicError& error) {
    if (throw_line_errors_) throw;
    return LineError(error);
  }
}

Status SerialBusTransport::AwaitBytes(size_t count, double wait_seconds,
                                      const WaitControl& control) {
  size_t waiting = 0;
  try {
    const WaitOutcome outcome = Wait(
        wait_seconds, control,
        [&] {
          waiting = static_cast<size_t>(std::max<int16_t>(port_.InBufferCount(), 0));
          return waiting >= count;
        },
        [&](std::chrono::milliseconds limit) {
          // Once a reply has started, the rest of it takes its wire time:
          // sleep through all of it but the last character instead of
          // waking for every one, then wait for that one to come. (A sleep
          // to the end would overshoot by however late the count was read,
          // on every exchange.)
          if (waiting > 0 && count - waiting > 1) {
            std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
                limit, WireTime(port_.Settings(), count - waiting - 1)));
          } else {
            port_.AwaitInput(limit);
          }
        });
    switch (outcome) {
      case WaitOutcome::kReady: return {};
      case WaitOutcome::kStopped: return Error(ErrorCode::kStopped, "stopped while waiting");
      case WaitOutcome::kTimedOut:
      case WaitOutcome::kGone: break;
    }
    return Error(ErrorCode::kNoReply,
                 std::to_string(waiting) + " of " + std::to_string(count) + " bytes");
  } catch (const BasicError& error) {
    if (throw_line_errors_) throw;
    return LineError(error);
  }
}

size_t SerialBusTransport::Available() {
  try {
    return static_cast<size_t>(std::max<int16_t>(port_.InBufferCount(), 0));
  } catch (const BasicError&) {
    return 0;
  }
}

Bytes SerialBusTransport::ReadWaiting(size_t count) {
  port_.SetInputLen(static_cast<int16_t>(count));
  return port_.Input();
}

void SerialBusTransport::DiscardInput() {
  try {
    port_.SetInBufferCount(0);
  } catch (const BasicError&) {
    // A device gone says so at the next send or wait.
  }
}

void SerialBusTransport::DropPartialReply() {
  try {
    if (port_.InBufferCount() > 0) {
      port_.SetInputLen(0);
      port_.Input();
    }
  } catch (const BasicError&) {
    // A device gone says so at the next wait.
  }
}

Status SerialBusTransport::Drain() {
  try {
    port_.Drain();
    return {};
  } catch (const BasicError& error) {
    if (throw_line_errors_) throw;
    return LineError(error);
  }
}

}  // namespace tallygate
