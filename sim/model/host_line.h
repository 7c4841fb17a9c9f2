// One host's line to a bus of terminals, without the file descriptors.
//
// Bytes read from the host go through the inbound pacer (with wire timing a
// frame is complete only once its last character would have crossed the
// line) into the frame reader; each frame goes to the bus, each answer gets
// its faults from the plan and its bytes join the outbound pacer. The
// transport feeds Receive, writes what TakeOutput returns and polls until
// next_deadline. Every frame handled, ignored or rejected is logged as one
// line (see README.md for the forms).
#ifndef TALLYGATE_SIM_MODEL_HOST_LINE_H_
#define TALLYGATE_SIM_MODEL_HOST_LINE_H_

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "sim/model/bus.h"
#include "sim/model/clock.h"
#include "sim/model/fault_plan.h"
#include "sim/model/frame_reader.h"
#include "sim/model/wire_pacer.h"

namespace tallygate::sim {

struct HostLineOptions {
  std::chrono::nanoseconds char_time{0};  // kSerialCharTime to emulate the wire
  std::chrono::milliseconds silence{kDefaultSilence};
  bool can_close = false;  // whether a close fault can close this line (TCP)
};

class HostLine {
 public:
  using Log = std::function<void(const std::string&)>;

  HostLine(Bus& bus, FaultPlan& faults, HostLineOptions options, Log log);

  // Bytes that arrived from the host at `now`.
  void Receive(std::span<const uint8_t> bytes, TimePoint now);

  // Lets inbound bytes through, answers complete frames, gives up stale
  // partial frames.
  void Advance(TimePoint now);

  // Reply bytes due by `now`; `close` asks the transport to drop the host.
  WirePacer::Released TakeOutput(TimePoint now);

  // The earliest time at which Advance or TakeOutput has work.
  std::optional<TimePoint> next_deadline() const;

  // Forgets everything in flight (the host went, a new one came).
  void Reset();

 private:
  void Handle(const ReceivedFrame& frame, TimePoint now);
  // Gives up replies held back for the host's silence (Reply::hold).
  void WithdrawHeld();

  Bus& bus_;
  FaultPlan& faults_;
  HostLineOptions options_;
  Log log_;
  WirePacer inbound_;
  WirePacer outbound_;
  FrameReader reader_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_HOST_LINE_H_
