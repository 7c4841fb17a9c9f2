#include "link/protocol/exchange.h"

#include "link/transport/wait.h"
#include "tallygate/basic_error.h"

#include <algorithm>
#include <thread>

#include "link/transport/line_settings.h"

namespace tallygate {
namespace {

// The time `characters` take on a line with these settings, at least 1 ms.
std::chrono::milliseconds WireTime(const std::string& settings, int characters) {
  const std::optional<LineSettings> line = ParseLineSettings(settings);
  const int rate = line ? line->rate : 19200;
  const int bits = line ? line->BitsPerCharacter() : 11;
  const auto ms = static_cast<int64_t>(characters) * bits * 1000 / rate;
  return std::chrono::milliseconds(std::max<int64_t>(ms, 1));
}

}  // namespace

void FrameExchange::WriteSerialTransfer(uint8_t address, std::span<const uint8_t> wire_bytes,
                                        bool discard_output) {
  SerialPort& port = link_.Port();
  port.SetInBufferCount(0);
  if (discard_output) port.SetOutBufferCount(0);
  port.SetSettings(link_.address_settings);
  if (!port.PortOpen()) port.SetPortOpen(true);
  const uint8_t address_bytes[1] = {address};
  port.Output(address_bytes);
  Pause(1);
  port.SetSettings(link_.data_settings);
  port.Output(wire_bytes);
}

bool FrameExchange::WriteTcpTransfer(uint8_t address, std::span<const uint8_t> wire_bytes) {
  TcpSocket& socket = link_.Socket();
  if (socket.State() != socket_state::kConnected) return false;
  socket.DiscardReceived();
  const uint8_t address_bytes[1] = {address};
  socket.SendData(address_bytes);
  Pause(1);
  socket.SendData(wire_bytes);
  return true;
}

bool FrameExchange::AwaitSerialBytes(int count, double timeout_seconds) {
  SerialPort& port = link_.Port();
  int waiting = 0;
  return WaitUntil(
      timeout_seconds,
      [&] {
        waiting = port.InBufferCount();
        return waiting >= count;
      },
      [&](std::chrono::milliseconds limit) {
        // Once a reply has started, the rest of it takes its wire time:
        // sleep that long instead of waking for every character.
        if (waiting > 0) {
          std::this_thread::sleep_for(
              std::min(limit, WireTime(port.Settings(), count - waiting)));
        } else {
          port.AwaitInput(limit);
        }
      });
}

bool FrameExchange::AwaitSocketBytes(int count, double timeout_seconds) {
  TcpSocket& socket = link_.Socket();
  return WaitUntil(
      timeout_seconds, [&] { return socket.BytesReceived() >= count; },
      [&](std::chrono::milliseconds limit) { socket.AwaitActivity(limit); },
      // A connection that has closed or failed brings no more bytes.
      [&] { return socket.ReceiveEnded() || socket.State() != socket_state::kConnected; });
}

Bytes FrameExchange::ReadSerial(int count) {
  SerialPort& port = link_.Port();
  port.SetInputLen(static_cast<int16_t>(count));
  return port.Input();
}

Bytes FrameExchange::ReadSocket(int count) { return link_.Socket().GetData(count); }

void FrameExchange::DiscardReceived() {
  if (serial()) {
    link_.Port().SetInBufferCount(0);
  } else {
    link_.Socket().DiscardReceived();
  }
}

bool FrameExchange::ExchangeFrame(uint8_t address, Bytes& frame, int frame_length,
                                  float timeout_seconds, int reply_length, Bytes& reply,
                                  bool check_address) {
  try {
    SealFrame(address, frame, frame_length);
    const auto wire = std::span<const uint8_t>(frame).first(static_cast<size_t>(frame_length));
    if (serial()) {
      WriteSerialTransfer(address, wire, true);
      if (!AwaitSerialBytes(reply_length, timeout_seconds)) return false;
      reply = ReadSerial(reply_length);
    } else {
      if (!WriteTcpTransfer(address, wire)) return false;
      if (!AwaitSocketBytes(reply_length, timeout_seconds)) return false;
      reply = ReadSocket(reply_length);
    }
    return ValidReply(reply, reply_length, check_address, address);
  } catch (const BasicError&) {
    return false;
  }
}

bool FrameExchange::SendFrame(uint8_t address, Bytes& frame, int frame_length) {
  try {
    SealFrame(address, frame, frame_length);
    const auto wire = std::span<const uint8_t>(frame).first(static_cast<size_t>(frame_length));
    if (serial()) {
      WriteSerialTransfer(address, wire, true);
      return true;
    }
    return WriteTcpTransfer(address, wire);
  } catch (const BasicError&) {
    return false;
  }
}

bool FrameExchange::ReceiveFrame(uint8_t address, float timeout_seconds, int reply_length,
                                 Bytes& reply) {
  try {
    if (serial()) {
      if (!AwaitSerialBytes(reply_length, timeout_seconds)) {
        SerialPort& port = link_.Port();
        if (port.InBufferCount() > 0) {
          port.SetInputLen(0);
          port.Input();
        }
        return false;
      }
      reply = ReadSerial(reply_length);
    } else {
      if (link_.Socket().State() != socket_state::kConnected) return false;
      if (!AwaitSocketBytes(reply_length, timeout_seconds)) return false;
      reply = ReadSocket(reply_length);
    }
    return ValidReply(reply, reply_length, true, address);
  } catch (const BasicError&) {
    return false;
  }
}

}  // namespace tallygate
