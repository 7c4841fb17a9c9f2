// Moves bytes between one descriptor (a TCP client, a pty master) and the
// HostLine that serves it: what the host writes goes in, reply bytes come
// out as the line releases them, and whatever the descriptor cannot take
// yet waits here for the next round.
#ifndef TALLYGATE_SIM_APP_STREAM_PUMP_H_
#define TALLYGATE_SIM_APP_STREAM_PUMP_H_

#include "link/protocol/frame.h"
#include "sim/model/clock.h"
#include "sim/model/host_line.h"

namespace tallygate::sim {

class StreamPump {
 public:
  enum class Status {
    kOpen,
    kPeerGone,        // end of stream or a connection error
    kCloseRequested,  // a close fault is due and everything before it is out
  };

  // `socket`: write with send() so a vanished peer is an error, not SIGPIPE.
  StreamPump(HostLine& line, bool socket) : line_(line), socket_(socket) {}

  // Reads what is waiting on `fd` and hands it to the line.
  Status ReadFrom(int fd, TimePoint now);

  // Lets the line work until `now` and writes the reply bytes that are due.
  Status Pump(int fd, TimePoint now);

  bool wants_write() const { return !unsent_.empty(); }

  // Forgets unsent bytes and the line's state (a new host).
  void Reset();

 private:
  HostLine& line_;
  bool socket_;
  Bytes unsent_;
  bool close_pending_ = false;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_STREAM_PUMP_H_
